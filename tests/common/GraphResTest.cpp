// Tests of the theme's graphic resources.
#include "common/config/GraphRes.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/storage/PackedStorage.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/PackageFixture.h"

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using Common::Config::CGraphResImpl;
using Common::Config::CXMLElement;
using Common::Config::CXMLSettings;
using TestSupport::Bytes;
using TestSupport::PackageFiles;
using TestSupport::ToBytes;

namespace {

// GDI+ for the test program, started once for the suite.
class CGdiplusRun
{
public:
    CGdiplusRun()
    {
        Gdiplus::GdiplusStartupInput input;
        m_status = Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
    }
    ~CGdiplusRun()
    {
        if (m_status == Gdiplus::Ok)
            Gdiplus::GdiplusShutdown(m_token);
    }
    CGdiplusRun(const CGdiplusRun&) = delete;
    CGdiplusRun& operator=(const CGdiplusRun&) = delete;
    bool Started() const { return m_status == Gdiplus::Ok; }

private:
    ULONG_PTR m_token = 0;
    Gdiplus::Status m_status = Gdiplus::GenericError;
};

// Pixel (x, y) of the test strips: red counts the column, green the row.
DWORD Coordinates(int x, int y)
{
    return static_cast<DWORD>(x) << 16 | static_cast<DWORD>(y) << 8 | 0x80;
}

Bytes Strip(int width, int height)
{
    return TestSupport::Bitmap24(width, height, Coordinates);
}

DWORD PixelAt(Gdiplus::Bitmap* bitmap, int x, int y)
{
    Gdiplus::Color color;
    if (bitmap->GetPixel(x, y, &color) != Gdiplus::Ok)
        return 0xDEADBEEF;
    return color.GetValue();
}

std::wstring FamilyName(Gdiplus::Font* font)
{
    Gdiplus::FontFamily family;
    wchar_t name[LF_FACESIZE] = {};
    if (font->GetFamily(&family) != Gdiplus::Ok || family.GetFamilyName(name) != Gdiplus::Ok)
        return L"(none)";
    return name;
}

std::wstring GenericSansSerifName()
{
    const Gdiplus::FontFamily* generic = Gdiplus::FontFamily::GenericSansSerif();
    wchar_t name[LF_FACESIZE] = {};
    if (generic == nullptr || generic->GetFamilyName(name) != Gdiplus::Ok)
        return L"(none)";
    return name;
}

class GraphResTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_gdiplus.reset(new CGdiplusRun); }
    static void TearDownTestSuite() { s_gdiplus.reset(); }

    void SetUp() override { ASSERT_TRUE(s_gdiplus->Started()); }

    // Loads the resources element (its inner XML given) with the files as the
    // package; the package is packed and enciphered as setup's packages may be.
    bool Load(const std::string& sections, const PackageFiles& files = {}, bool pack = true)
    {
        PackageTools::SBuildOptions options;
        options.pack = pack;
        PackageFiles all = files;
        all[L"placeholder.txt"] = ToBytes("x");
        const std::wstring path = TestSupport::MakePackage(m_temp, all, options, L"p" + std::to_wstring(++m_nPackages) + L".cfs");
        if (!m_package.Open(path, true, false)) {
            ADD_FAILURE() << "package does not open";
            return false;
        }
        m_document.Load(_bstr_t(("<Interface><Resources>" + sections + "</Resources></Interface>").c_str()), false);
        m_document.GetElement(L"//Interface/Resources", m_resources);
        m_graphics.reset(new CGraphResImpl);
        return m_graphics->Load(m_resources, &m_package);
    }

    // The ids at which images are stored, among 'first' to 'last'.
    std::vector<int> ImageIds(int first, int last)
    {
        std::vector<int> ids;
        for (int id = first; id <= last; ++id)
            if (m_graphics->GetImage(id) != nullptr)
                ids.push_back(id);
        return ids;
    }

    static std::unique_ptr<CGdiplusRun> s_gdiplus;
    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
    Common::Storage::CPackedStorage m_package;
    CXMLSettings m_document;
    CXMLElement m_resources;
    std::unique_ptr<CGraphResImpl> m_graphics;
    int m_nPackages = 0;
};

std::unique_ptr<CGdiplusRun> GraphResTest::s_gdiplus;

TEST_F(GraphResTest, AStripBecomesFramesAtTheirOffsets)
{
    // Four solid frames side by side, 50 x 50 each.
    const DWORD colors[] = {0xFF0000, 0x00FF00, 0x0000FF, 0x123456};
    const Bytes strip = TestSupport::Bitmap24(200, 50, [&](int x, int) { return colors[x / 50]; });
    ASSERT_TRUE(Load("<Images><Image Path=\"\\images\\strip.bmp\" ID=\"10\" Frames=\"4\"/></Images>",
                     {{L"images\\strip.bmp", strip}}));

    EXPECT_EQ((std::vector<int>{10, 11, 12, 13}), ImageIds(0, 20));
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        Gdiplus::Bitmap* frame = m_graphics->GetImage(10 + i);
        ASSERT_NE(nullptr, frame);
        EXPECT_EQ(50u, frame->GetWidth());
        EXPECT_EQ(50u, frame->GetHeight());
        EXPECT_EQ(PixelFormat24bppRGB, frame->GetPixelFormat());
        EXPECT_EQ(0xFF000000 | colors[i], PixelAt(frame, 0, 0));
        EXPECT_EQ(0xFF000000 | colors[i], PixelAt(frame, 49, 49));
        EXPECT_EQ(0xFF000000 | colors[i], PixelAt(frame, 25, 10));
    }
}

TEST_F(GraphResTest, FrameGeometry)
{
    struct Case
    {
        int width, height;
        const char* attributes;
        bool vertical;
        std::vector<int> offsets; // of the frames stored at ID 100 onwards
        UINT frameWidth, frameHeight;
    };
    const Case cases[] = {
        {200, 50, "Frames=\"4\"", false, {0, 50, 100, 150}, 50, 50},
        {100, 10, "Frames=\"3\"", false, {0, 33, 66}, 33, 10},
        {40, 41, "Frames=\"2\" Vertical=\"1\"", true, {0, 20}, 40, 20},
        {30, 9, "Frames=\"3\" Vertical=\"7\"", true, {0, 3, 6}, 30, 3},
        {30, 9, "Frames=\"2\" Vertical=\"0\"", false, {0, 15}, 15, 9},
        {8, 4, "Frames=\"8\"", false, {0, 1, 2, 3, 4, 5, 6, 7}, 1, 4},
        {8, 6, "", false, {0}, 8, 6},
        {8, 6, "Frames=\"0\" Vertical=\"1\"", false, {0}, 8, 6},
        // More frames than pixels: every frame would be empty, so none is kept.
        {3, 5, "Frames=\"5\"", false, {}, 0, 0},
        {5, 3, "Frames=\"4\" Vertical=\"1\"", true, {}, 0, 0},
        {8, 8, "Frames=\"2000000000\"", false, {}, 0, 0},
        {8, 8, "Frames=\"-2\"", false, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        ASSERT_TRUE(Load(std::string("<Images><Image Path=\"\\s.bmp\" ID=\"100\" ") + c.attributes + "/></Images>",
                         {{L"s.bmp", Strip(c.width, c.height)}}));
        std::vector<int> expectedIds;
        for (size_t i = 0; i < c.offsets.size(); ++i)
            expectedIds.push_back(100 + static_cast<int>(i));
        EXPECT_EQ(expectedIds, ImageIds(90, 120));
        for (size_t i = 0; i < c.offsets.size(); ++i) {
            SCOPED_TRACE(i);
            Gdiplus::Bitmap* frame = m_graphics->GetImage(100 + static_cast<int>(i));
            ASSERT_NE(nullptr, frame);
            EXPECT_EQ(c.frameWidth, frame->GetWidth());
            EXPECT_EQ(c.frameHeight, frame->GetHeight());
            const int x = c.vertical ? 0 : c.offsets[i];
            const int y = c.vertical ? c.offsets[i] : 0;
            EXPECT_EQ(0xFF000000 | Coordinates(x, y), PixelAt(frame, 0, 0));
            EXPECT_EQ(0xFF000000 | Coordinates(x + c.frameWidth - 1, y + c.frameHeight - 1),
                      PixelAt(frame, c.frameWidth - 1, c.frameHeight - 1));
        }
    }
}

TEST_F(GraphResTest, FramesStopAtTheLargestId)
{
    ASSERT_TRUE(Load("<Images><Image Path=\"\\s.bmp\" ID=\"2147483646\" Frames=\"4\"/></Images>", {{L"s.bmp", Strip(8, 2)}}));
    EXPECT_NE(nullptr, m_graphics->GetImage(2147483646));
    EXPECT_NE(nullptr, m_graphics->GetImage(2147483647));
    EXPECT_EQ(nullptr, m_graphics->GetImage(-2147483647 - 1));
}

TEST_F(GraphResTest, FontStyles)
{
    struct Case
    {
        const char* attributes;
        INT style;
    };
    const Case cases[] = {
        {"", 0},
        {"Bold=\"1\"", Gdiplus::FontStyleBold},
        {"Italic=\"1\"", Gdiplus::FontStyleItalic},
        {"UL=\"1\"", Gdiplus::FontStyleUnderline},
        {"SO=\"1\"", Gdiplus::FontStyleStrikeout},
        {"Bold=\"1\" UL=\"1\"", 5},
        {"Bold=\"1\" Italic=\"1\" UL=\"1\" SO=\"1\"", 15},
        {"Bold=\"0\" Italic=\"0\" UL=\"0\" SO=\"0\"", 0},
        {"Bold=\"7\" SO=\"-1\"", 9},
    };
    std::string fonts;
    int id = 1;
    for (const Case& c : cases) {
        fonts += "<Font Face=\"Tahoma\" Size=\"" + std::to_string(8 + id) + "\" ID=\"" + std::to_string(id) + "\" " +
                 c.attributes + "/>";
        ++id;
    }
    ASSERT_TRUE(Load("<Fonts>" + fonts + "</Fonts>"));
    id = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.attributes);
        Gdiplus::Font* font = m_graphics->GetFont(id);
        ASSERT_NE(nullptr, font);
        EXPECT_EQ(c.style, font->GetStyle());
        EXPECT_FLOAT_EQ(static_cast<float>(8 + id), font->GetSize());
        EXPECT_EQ(Gdiplus::UnitPoint, font->GetUnit());
        EXPECT_EQ(L"Tahoma", FamilyName(font));
        ++id;
    }
    EXPECT_EQ(nullptr, m_graphics->GetFont(id));
}

TEST_F(GraphResTest, AMissingFamilyFallsBackToGenericSansSerif)
{
    ASSERT_TRUE(Load("<Fonts><Font Face=\"No Such Family\" Size=\"12\" Italic=\"1\" ID=\"3\"/>"
                     "<Font Size=\"10\" ID=\"4\"/></Fonts>"));
    const std::wstring generic = GenericSansSerifName();
    ASSERT_NE(L"(none)", generic);
    for (int id : {3, 4}) {
        SCOPED_TRACE(id);
        Gdiplus::Font* font = m_graphics->GetFont(id);
        ASSERT_NE(nullptr, font);
        EXPECT_EQ(generic, FamilyName(font));
    }
    EXPECT_EQ(Gdiplus::FontStyleItalic, m_graphics->GetFont(3)->GetStyle());
    EXPECT_FLOAT_EQ(12.0f, m_graphics->GetFont(3)->GetSize());
}

TEST_F(GraphResTest, AFontThatCannotBeMadeIsLeftOut)
{
    // A negative size fails with the named family and again with the generic one.
    // (Wine's GDI+ makes fonts of size 0, so that case is left out.)
    ASSERT_TRUE(Load("<Fonts><Font Face=\"Tahoma\" Size=\"-1\" ID=\"1\"/>"
                     "<Font Face=\"No Such Family\" Size=\"-3\" ID=\"2\"/><Font Face=\"Tahoma\" Size=\"9\" ID=\"3\"/></Fonts>"));
    EXPECT_EQ(nullptr, m_graphics->GetFont(1));
    EXPECT_EQ(nullptr, m_graphics->GetFont(2));
    EXPECT_NE(nullptr, m_graphics->GetFont(3));
}

TEST_F(GraphResTest, BrushColours)
{
    struct Case
    {
        const char* argb; // null: no attribute
        Gdiplus::ARGB color;
    };
    const Case cases[] = {
        {"#FF0000FF", 0xFF0000FF},
        {"#ff00ff00", 0xFF00FF00},
        {"#800000", 0x00800000}, // no alpha: draws nothing
        {"#80FF8000", 0x80FF8000},
        {"#12G4", 0x12},
        {"#00000000FFFFFFFF", 0xFFFFFFFF},
        // No colour: a transparent brush.
        {"#123456789", 0},
        {"red", 0},
        {"", 0},
        {"#", 0},
        {"# FF", 0},
        {"#-1", 0},
        {"FF0000FF", 0},
        {nullptr, 0},
    };
    std::string colors;
    int id = 0;
    for (const Case& c : cases) {
        colors += "<Color ID=\"" + std::to_string(id++) + "\"";
        if (c.argb != nullptr)
            colors += std::string(" ARGB=\"") + c.argb + "\"";
        colors += "/>";
    }
    ASSERT_TRUE(Load("<Colors>" + colors + "</Colors>"));
    id = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argb != nullptr ? c.argb : "(none)");
        Gdiplus::SolidBrush* brush = m_graphics->GetBrush(id++);
        ASSERT_NE(nullptr, brush);
        Gdiplus::Color color;
        ASSERT_EQ(Gdiplus::Ok, brush->GetColor(&color));
        EXPECT_EQ(c.color, color.GetValue());
    }
}

TEST_F(GraphResTest, AnIdStoredTwiceGivesTheLaterEntry)
{
    ASSERT_TRUE(Load("<Images><A Path=\"\\a.bmp\" ID=\"1\"/><B Path=\"\\b.bmp\" ID=\"1\"/></Images>"
                     "<Fonts><F Face=\"Tahoma\" Size=\"8\" ID=\"1\"/><F Face=\"Tahoma\" Size=\"14\" ID=\"1\"/></Fonts>"
                     "<Colors><C ID=\"1\" ARGB=\"#FF111111\"/><C ID=\"1\" ARGB=\"#FF222222\"/></Colors>",
                     {{L"a.bmp", Strip(4, 4)}, {L"b.bmp", Strip(6, 2)}}));
    ASSERT_NE(nullptr, m_graphics->GetImage(1));
    EXPECT_EQ(6u, m_graphics->GetImage(1)->GetWidth());
    ASSERT_NE(nullptr, m_graphics->GetFont(1));
    EXPECT_FLOAT_EQ(14.0f, m_graphics->GetFont(1)->GetSize());
    Gdiplus::Color color;
    ASSERT_NE(nullptr, m_graphics->GetBrush(1));
    m_graphics->GetBrush(1)->GetColor(&color);
    EXPECT_EQ(0xFF222222u, color.GetValue());
}

TEST_F(GraphResTest, IdsAreSeparatePerKind)
{
    ASSERT_TRUE(Load("<Images><Image Path=\"\\a.bmp\" ID=\"5\"/></Images>"
                     "<Fonts><Font Face=\"Tahoma\" Size=\"8\" ID=\"5\"/></Fonts>"
                     "<Colors><Color ID=\"6\" ARGB=\"#FF000000\"/></Colors>",
                     {{L"a.bmp", Strip(4, 4)}}));
    EXPECT_NE(nullptr, m_graphics->GetImage(5));
    EXPECT_NE(nullptr, m_graphics->GetFont(5));
    EXPECT_EQ(nullptr, m_graphics->GetBrush(5));
    EXPECT_EQ(nullptr, m_graphics->GetImage(6));
    EXPECT_EQ(nullptr, m_graphics->GetFont(6));
    EXPECT_NE(nullptr, m_graphics->GetBrush(6));
}

TEST_F(GraphResTest, EntriesOfAnyNameCountAndOtherNodesAreSkipped)
{
    ASSERT_TRUE(Load("<Colors>text<!-- a comment --><Whatever ID=\"1\" ARGB=\"#FF010203\"/>more text"
                     "<?pi data?><Color ID=\"2\" ARGB=\"#FF040506\"/></Colors>"));
    EXPECT_NE(nullptr, m_graphics->GetBrush(1));
    EXPECT_NE(nullptr, m_graphics->GetBrush(2));
}

TEST_F(GraphResTest, AnImageThatDoesNotDecodeIsSkipped)
{
    const Bytes whole = Strip(16, 16);
    ASSERT_TRUE(Load("<Images><Image Path=\"\\bad.bmp\" ID=\"1\"/><Image Path=\"\\empty.bmp\" ID=\"2\" Frames=\"2\"/>"
                     "<Image Path=\"\\cut.bmp\" ID=\"3\"/><Image Path=\"\\good.bmp\" ID=\"4\"/></Images>",
                     {{L"bad.bmp", ToBytes("this is no picture at all")},
                      {L"empty.bmp", Bytes()},
                      {L"cut.bmp", Bytes(whole.begin(), whole.begin() + 20)},
                      {L"good.bmp", Strip(4, 4)}}));
    EXPECT_EQ((std::vector<int>{4}), ImageIds(0, 10));
}

TEST_F(GraphResTest, AMissingImageEndsOnlyTheImages)
{
    // The package raises an error for a stream it lacks: the images after it are
    // not read, the fonts and colours are.
    ASSERT_TRUE(Load("<Images><Image Path=\"\\one.bmp\" ID=\"1\"/><Image Path=\"\\missing.bmp\" ID=\"2\"/>"
                     "<Image Path=\"\\three.bmp\" ID=\"3\"/></Images>"
                     "<Fonts><Font Face=\"Tahoma\" Size=\"8\" ID=\"1\"/></Fonts>"
                     "<Colors><Color ID=\"1\" ARGB=\"#FF000000\"/></Colors>",
                     {{L"one.bmp", Strip(4, 4)}, {L"three.bmp", Strip(4, 4)}}, false));
    EXPECT_EQ((std::vector<int>{1}), ImageIds(0, 10));
    EXPECT_NE(nullptr, m_graphics->GetFont(1));
    EXPECT_NE(nullptr, m_graphics->GetBrush(1));
}

TEST_F(GraphResTest, AnEntryThatDoesNotReadEndsItsSection)
{
    ASSERT_TRUE(Load("<Images><Image Path=\"\\a.bmp\" ID=\"1\"/><Image Path=\"\\a.bmp\" ID=\"two\"/>"
                     "<Image Path=\"\\a.bmp\" ID=\"3\"/></Images>"
                     "<Fonts><Font Face=\"Tahoma\" Size=\"8\" ID=\"1\"/><Font Face=\"Tahoma\" Size=\"big\" ID=\"2\"/>"
                     "<Font Face=\"Tahoma\" Size=\"8\" ID=\"3\"/></Fonts>"
                     "<Colors><Color ID=\"1\" ARGB=\"#FF000000\"/><Color ID=\"x\" ARGB=\"#FF000000\"/>"
                     "<Color ID=\"3\" ARGB=\"#FF000000\"/></Colors>",
                     {{L"a.bmp", Strip(4, 4)}}));
    EXPECT_EQ((std::vector<int>{1}), ImageIds(0, 10));
    EXPECT_NE(nullptr, m_graphics->GetFont(1));
    EXPECT_EQ(nullptr, m_graphics->GetFont(3));
    EXPECT_NE(nullptr, m_graphics->GetBrush(1));
    EXPECT_EQ(nullptr, m_graphics->GetBrush(3));
}

TEST_F(GraphResTest, LoadNeedsALoaderAndAnElement)
{
    ASSERT_TRUE(Load("<Colors><Color ID=\"1\" ARGB=\"#FF000000\"/></Colors>"));
    CGraphResImpl withoutLoader;
    EXPECT_FALSE(withoutLoader.Load(m_resources, nullptr));
    EXPECT_EQ(nullptr, withoutLoader.GetBrush(1));
    CGraphResImpl withoutElement;
    EXPECT_FALSE(withoutElement.Load(CXMLElement(), &m_package));
    EXPECT_EQ(nullptr, withoutElement.GetBrush(1));
}

TEST_F(GraphResTest, AnEmptyElementLoadsNothing)
{
    ASSERT_TRUE(Load(""));
    EXPECT_TRUE(ImageIds(-5, 5).empty());
    EXPECT_EQ(nullptr, m_graphics->GetFont(0));
    EXPECT_EQ(nullptr, m_graphics->GetBrush(0));
}

} // namespace
