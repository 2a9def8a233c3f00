// Tests of the theme built from the package.
#include "common/config/GraphRes.h"
#include "common/config/SetupConfig.h"
#include "setup/engine/GdiplusScope.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/PackageFixture.h"

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <string>

using Common::Config::CSetupConfig;
using TestSupport::ToBytes;

namespace {

const char kTheme[] =
    "<Resources>"
    "<Images><Background Path=\"\\images\\back.bmp\" ID=\"1\"/>"
    "<Wait Path=\"\\images\\wait.bmp\" ID=\"20\" Frames=\"2\" Vertical=\"1\"/></Images>"
    "<Fonts><Status Face=\"Tahoma\" Size=\"9\" Bold=\"1\" ID=\"1\"/></Fonts>"
    "<Colors><Status ID=\"1\" ARGB=\"#FF336699\"/></Colors>"
    "</Resources>";

class ThemeResourcesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        PackageTools::SBuildOptions options;
        options.pack = true;
        const std::string document = std::string("<Interface>") + kTheme + "</Interface>";
        m_strPackage = TestSupport::MakePackage(
            m_temp,
            {{L"setup.xml", ToBytes(document)},
             {L"images\\back.bmp", TestSupport::Bitmap24(30, 20, [](int, int) { return 0x102030u; })},
             {L"images\\wait.bmp", TestSupport::Bitmap24(10, 20, [](int, int y) { return y < 10 ? 0xFF0000u : 0x00FF00u; })},
             {L"de\\setup.xml", ToBytes("<Interface><Resources><Colors><C ID=\"2\" ARGB=\"#FF000000\"/></Colors>"
                                        "</Resources></Interface>")}},
            options);
    }

    // GDI+ runs for as long as the configuration objects of the tests live, as in
    // setup, where it is shut down only after the configuration is gone.
    CGdiplusScope m_gdiplus;
    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
    std::wstring m_strPackage;
};

DWORD PixelAt(Gdiplus::Bitmap* bitmap, int x, int y)
{
    Gdiplus::Color color;
    bitmap->GetPixel(x, y, &color);
    return color.GetValue();
}

TEST_F(ThemeResourcesTest, InitBuildsTheThemeFromThePackage)
{
    CSetupConfig config;
    config.SetPackageArgument(m_strPackage.c_str());
    ASSERT_TRUE(config.Init());
    Common::Config::IGraphRes* theme = config.GetGraphRes();
    ASSERT_NE(nullptr, theme);

    Gdiplus::Bitmap* background = theme->GetImage(1);
    ASSERT_NE(nullptr, background);
    EXPECT_EQ(30u, background->GetWidth());
    EXPECT_EQ(0xFF102030u, PixelAt(background, 29, 19));
    ASSERT_NE(nullptr, theme->GetImage(20));
    ASSERT_NE(nullptr, theme->GetImage(21));
    EXPECT_EQ(nullptr, theme->GetImage(22));
    EXPECT_EQ(0xFFFF0000u, PixelAt(theme->GetImage(20), 9, 9));
    EXPECT_EQ(0xFF00FF00u, PixelAt(theme->GetImage(21), 0, 0));

    ASSERT_NE(nullptr, theme->GetFont(1));
    EXPECT_EQ(Gdiplus::FontStyleBold, theme->GetFont(1)->GetStyle());
    ASSERT_NE(nullptr, theme->GetBrush(1));
    Gdiplus::Color color;
    theme->GetBrush(1)->GetColor(&color);
    EXPECT_EQ(0xFF336699u, color.GetValue());
}

TEST_F(ThemeResourcesTest, ALanguageSwitchRebuildsTheTheme)
{
    CSetupConfig config;
    config.SetPackageArgument(m_strPackage.c_str());
    ASSERT_TRUE(config.Init());
    ASSERT_NE(nullptr, config.GetGraphRes());
    ASSERT_TRUE(config.LoadSettings(L"\\de\\setup.xml"));
    ASSERT_TRUE(config.LoadGraphRes());
    Common::Config::IGraphRes* theme = config.GetGraphRes();
    ASSERT_NE(nullptr, theme);
    EXPECT_EQ(nullptr, theme->GetImage(1));
    EXPECT_EQ(nullptr, theme->GetBrush(1));
    EXPECT_NE(nullptr, theme->GetBrush(2));
}

} // namespace
