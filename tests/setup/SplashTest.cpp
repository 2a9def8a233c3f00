// Tests of the splash window.
#include "setup/wizard/Splash.h"

#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/GdiplusScope.h"
#include "setup/engine/SetupApp.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TestSupport::CTempFolder;

// A 24-bit bottom-up BMP of that size, all one colour.
std::vector<char> BmpBytes(int width, int height)
{
    const int row = ((width * 3 + 3) / 4) * 4;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(row * height);
    std::vector<char> bytes(file.bfSize, '\x40');
    memcpy(bytes.data(), &file, sizeof(file));
    memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<char>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

std::wstring OwnProgram()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

BOOL CALLBACK FindSplash(HWND window, LPARAM param)
{
    wchar_t title[32] = {};
    GetWindowTextW(window, title, 32);
    if (std::wstring(title) != L"~splash")
        return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

// The "~splash" window of the thread, or null.
HWND SplashWindowOf(DWORD threadId)
{
    HWND found = nullptr;
    EnumThreadWindows(threadId, &FindSplash, reinterpret_cast<LPARAM>(&found));
    return found;
}

class SplashTest : public ::testing::Test
{
protected:
    void SetUp() override { g_CmdLine = CCmdLineHelper(); }
    void TearDown() override { g_CmdLine = CCmdLineHelper(); }

    // Starts the splash thread as setup does; the time it took goes to 'elapsed'.
    CSplashHolder* Start(DWORD& elapsed)
    {
        auto* holder = new CSplashHolder;
        const DWORD start = GetTickCount();
        StartSplashThread(*holder);
        elapsed = GetTickCount() - start;
        return holder;
    }

    // Hands the holder to an application object and ends it with SetSplash(null):
    // true when the thread then ends.
    static bool EndsOnQuit(CSplashHolder* holder)
    {
        HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, holder->m_nThreadId);
        CSetupApp app;
        app.SetSplash(holder);
        const bool running = thread != nullptr && WaitForSingleObject(thread, 200) == WAIT_TIMEOUT;
        app.SetSplash(nullptr);
        const bool ended = thread != nullptr && WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
        if (thread != nullptr)
            CloseHandle(thread);
        return running && ended;
    }

    CGdiplusScope m_gdiplus;
    CTempFolder m_temp;
};

TEST_F(SplashTest, WithoutAPictureTheThreadReportsAtOnceAndEndsOnQuit)
{
    ASSERT_TRUE(CSplashWnd::FindPicture(CString(OwnProgram().c_str())).IsEmpty()) << "a picture lies beside the tests";
    DWORD elapsed = 0;
    CSplashHolder* holder = Start(elapsed);
    ASSERT_NE(0u, holder->m_nThreadId);
    EXPECT_LT(elapsed, 900u) << "no pause without a window";
    EXPECT_EQ(nullptr, SplashWindowOf(holder->m_nThreadId));
    EXPECT_TRUE(EndsOnQuit(holder));
}

TEST_F(SplashTest, APictureBesideTheProgramIsShownForASecondUntilQuit)
{
    std::wstring picture = OwnProgram();
    picture.replace(picture.size() - 4, 4, L".bmp");
    WriteBytes(picture, BmpBytes(40, 30));
    struct SRemove
    {
        std::wstring path;
        ~SRemove() { DeleteFileW(path.c_str()); }
    } remove{picture};

    DWORD elapsed = 0;
    CSplashHolder* holder = Start(elapsed);
    EXPECT_GE(elapsed, 1000u);
    HWND window = SplashWindowOf(holder->m_nThreadId);
    ASSERT_NE(nullptr, window);
    RECT rc{};
    GetWindowRect(window, &rc);
    EXPECT_EQ(40, rc.right - rc.left);
    EXPECT_EQ(30, rc.bottom - rc.top);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(static_cast<LONG>(WS_POPUP | WS_DISABLED),
              GetWindowLongW(window, GWL_STYLE) & static_cast<LONG>(WS_POPUP | WS_DISABLED | WS_CAPTION));
    EXPECT_EQ(WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
              static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW));
    EXPECT_NE(window, GetForegroundWindow()) << "shown without activation";

    EXPECT_TRUE(EndsOnQuit(holder));
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(SplashTest, CandidatesAreTriedInOrderUnderTheLongName)
{
    struct SCase
    {
        std::vector<std::wstring> files;
        std::wstring expected;
    };
    const SCase cases[] = {
        {{L"long program name.png", L"long program name.jpg"}, L"long program name.png"},
        {{L"long program name.jpeg"}, L"long program name.jpeg"},
        {{L"long program name.bmp", L"long program name.dat"}, L"long program name.dat"},
        {{L"long program name.gif"}, L""},
    };
    for (const SCase& c : cases) {
        CTempFolder folder;
        const std::wstring program = folder / L"long program name.exe";
        WriteBytes(program, {'M', 'Z'});
        for (const std::wstring& file : c.files)
            WriteBytes(folder / file, {'x'});
        wchar_t shortPath[MAX_PATH] = {};
        ASSERT_NE(0u, GetShortPathNameW(program.c_str(), shortPath, MAX_PATH));

        const CString found = CSplashWnd::FindPicture(CString(shortPath));
        const std::wstring expected = c.expected.empty() ? L"" : folder / c.expected;
        EXPECT_EQ(0, _wcsicmp(expected.c_str(), found.GetString())) << found.GetString();
    }
}

TEST_F(SplashTest, AnUndecodableFirstCandidateShowsNothing)
{
    const std::wstring program = m_temp / L"prog.exe";
    WriteBytes(program, {'M', 'Z'});
    WriteBytes(m_temp / L"prog.bmp", BmpBytes(20, 10));

    WriteBytes(m_temp / L"prog.dat", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    {
        CSplashWnd splash;
        EXPECT_FALSE(splash.CreateFor(CString(program.c_str())));
        EXPECT_EQ(nullptr, splash.m_hWnd);
        EXPECT_TRUE(splash.m_Image.IsEmpty());
    }

    // A picture stored as ".dat" is read by its content.
    WriteBytes(m_temp / L"prog.dat", BmpBytes(24, 12));
    CSplashWnd splash;
    ASSERT_TRUE(splash.CreateFor(CString(program.c_str())));
    RECT rc{};
    GetWindowRect(splash.m_hWnd, &rc);
    EXPECT_EQ(24, rc.right - rc.left);
    EXPECT_EQ(12, rc.bottom - rc.top);

    // Drawn at its own size from the origin: the picture's colour inside, the
    // background beyond it.
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 40, 40);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(memory, canvas);
    RECT all = {0, 0, 40, 40};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    splash.m_Image.Draw(memory, 0, 0);
    EXPECT_EQ(RGB(0x40, 0x40, 0x40), GetPixel(memory, 0, 0));
    EXPECT_EQ(RGB(0x40, 0x40, 0x40), GetPixel(memory, 23, 11));
    EXPECT_EQ(RGB(0xFF, 0xFF, 0xFF), GetPixel(memory, 24, 11));
    EXPECT_EQ(RGB(0xFF, 0xFF, 0xFF), GetPixel(memory, 23, 12));
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
}

TEST_F(SplashTest, NoSplashInAQuietRun)
{
    g_CmdLine.m_bQuiet = true;
    EXPECT_EQ(nullptr, StartSplash());

    g_CmdLine.m_bQuiet = false;
    CSplashHolder* holder = StartSplash();
    ASSERT_NE(nullptr, holder);
    EXPECT_NE(0u, holder->m_nThreadId);
    EXPECT_TRUE(EndsOnQuit(holder));
}

} // namespace
