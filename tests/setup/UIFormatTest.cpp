// Tests of the localised size format.
#include "common/ui/UIFormat.h"

#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "setup/engine/CmdLineHelper.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using Common::Config::CXMLSettings;
using UI::CUIFormat;

namespace {

std::string Narrow(const CString& text)
{
    std::string result;
    for (int i = 0; i < text.GetLength(); ++i)
        result += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return result;
}

// An interface document with these metrics ("" leaves the separator out).
std::string Document(const std::string& separator, const std::string& units)
{
    std::string metrics = "<Metrics>";
    if (!separator.empty())
        metrics += "<Separator Caption=\"" + separator + "\"/>";
    metrics += "<Abbreviation>" + units + "</Abbreviation></Metrics>";
    return "<Interface><Localize>" + metrics + "</Localize></Interface>";
}

const char kUnits[] = "<B Caption=\"%.0f B\"/><KB Caption=\"%.1f KB\"/><!-- no unit --><MB Caption=\"%.1f MB\"/>"
                      "<GB Caption=\"%.1f GB\"/>";

class UIFormatTest : public ::testing::Test
{
protected:
    CXMLSettings& Settings(const std::string& document)
    {
        m_settings.emplace_back(new CXMLSettings);
        m_settings.back()->Load(_bstr_t(document.c_str()), false);
        return *m_settings.back();
    }

    TestSupport::CComScope m_com;
    std::vector<std::unique_ptr<CXMLSettings>> m_settings;
};

TEST_F(UIFormatTest, UnitsAndSeparator)
{
    struct Case
    {
        double bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0 B"},
        {1000, "1000 B"},
        {1001, "1,0 KB"},
        {1536, "1,5 KB"},
        {1024000, "1000,0 KB"},
        {1048576, "1,0 MB"},
        {1.5 * 1024 * 1024 * 1024, "1,5 GB"},
        // Beyond the largest unit the size stays in it.
        {5.0 * 1024 * 1024 * 1024 * 1024, "5120,0 GB"},
    };
    CXMLSettings& settings = Settings(Document(",", kUnits));
    CUIFormat format;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.text, Narrow(format.FormatSize(&settings, c.bytes)));
    }
    EXPECT_EQ(L",", format.m_strSeparator);
}

TEST_F(UIFormatTest, EverySeparatorCharacterIsReplaced)
{
    CUIFormat format;
    EXPECT_EQ("1_5 KB_ about_", Narrow(format.FormatSize(&Settings(Document("_", "<B Caption=\"%.0f\"/>"
                                                                             "<KB Caption=\"%.1f KB, about.\"/>")),
                                                          1536)));
    // Without a separator the point goes: 1.5 becomes 150.
    CUIFormat bare;
    EXPECT_EQ("150 B", Narrow(bare.FormatSize(&Settings(Document("", "<B Caption=\"%.2f B\"/>")), 1.5)));
}

TEST_F(UIFormatTest, TheSeparatorIsReadOnceUnlessEmpty)
{
    CUIFormat format;
    EXPECT_EQ("2 B", Narrow(format.FormatSize(&Settings(Document("", "<B Caption=\"%.0f B\"/>")), 2)));
    EXPECT_TRUE(format.m_strSeparator.IsEmpty());
    EXPECT_EQ("1;5", Narrow(format.FormatSize(&Settings(Document(";", "<B Caption=\"%.1f\"/>")), 1.5)));
    EXPECT_EQ("1;5", Narrow(format.FormatSize(&Settings(Document("'", "<B Caption=\"%.1f\"/>")), 1.5)));
    EXPECT_EQ(L";", format.m_strSeparator);
}

TEST_F(UIFormatTest, NothingToFormatWith)
{
    CUIFormat format;
    EXPECT_EQ("", Narrow(format.FormatSize(nullptr, 1536)));
    EXPECT_EQ("", Narrow(format.FormatSize(&Settings(Document(",", "")), 1536)));
    EXPECT_EQ("", Narrow(format.FormatSize(&Settings("<Interface/>"), 0)));
    // A unit without a caption shows "0".
    EXPECT_EQ("0", Narrow(format.FormatSize(&Settings(Document(",", "<B/>")), 10)));
}

// A caption is a printf format only when it takes exactly the one double that is
// passed; any other is shown as written, so that no conversion reads or writes
// memory it was not given.
TEST_F(UIFormatTest, OnlyOneFloatingConversionFormats)
{
    struct Case
    {
        const char* caption;
        const char* text; // of 1.5 units
    };
    const Case cases[] = {
        {"%.1f KB", "1,5 KB"},
        {"%5.2f%%", " 1,50%"},
        {"%-7.2f|", "1,50   |"},
        {"%+08.3f", "+001,500"},
        {"%g KB", "1,5 KB"},
        {"%G", "1,5"},
        {"%#.0f", "2,"},
        {"%.f", "2"},
        {"%% %.1f", "% 1,5"},
        {"%s", "%s"},
        {"%S", "%S"},
        {"%n", "%n"},
        {"%.1f%n", "%,1f%n"},
        {"%d", "%d"},
        {"%x", "%x"},
        {"%p", "%p"},
        {"%f %f", "%f %f"},
        {"%f%s", "%f%s"},
        {"%*f", "%*f"},
        {"%.*f", "%,*f"},
        {"%lf", "%lf"},
        {"%Lf", "%Lf"},
        {"%I64d", "%I64d"},
        {"%100f", "%100f"},
        {"%.100f", "%,100f"},
        {"no conversion", "no conversion"},
        {"100%%", "100%%"},
        {"%", "%"},
        {"%.1f %", "%,1f %"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        CUIFormat format;
        CXMLSettings& settings = Settings(Document(",", std::string("<B Caption=\"%.0f B\"/><KB Caption=\"") +
                                                            c.caption + "\"/>"));
        EXPECT_EQ(c.text, Narrow(format.FormatSize(&settings, 1536)));
    }
}

TEST(UIFormatConfigTest, TheSharedFormatterUsesTheConfigurationsDocument)
{
    TestSupport::CComScope com;
    TestSupport::CTempFolder temp;
    g_CmdLine = CCmdLineHelper();
    PackageTools::SBuildOptions options;
    const std::wstring package =
        TestSupport::MakePackage(temp, {{L"setup.xml", TestSupport::ToBytes(Document(",", kUnits))}}, options);
    auto& config = Common::Config::GetSetupConfig();
    ASSERT_TRUE(config.GetPackage().Open(package, true, false));
    ASSERT_TRUE(config.LoadSettings(L"\\setup.xml"));

    CUIFormat& format = UI::GetUIFormat();
    EXPECT_EQ(&format, &UI::GetUIFormat());
    EXPECT_EQ("1,5 KB", Narrow(format.FormatSize(static_cast<ULONGLONG>(1536))));
    EXPECT_EQ("1,0 MB", Narrow(format.FormatSize(1048576.0)));
    EXPECT_EQ("3,0 GB", Narrow(format.FormatSize(3ull << 30)));
}

} // namespace
