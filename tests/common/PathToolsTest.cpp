// Tests of the path tools.
#include "common/tools/PathTools.h"

#include "tests/support/PackageFixture.h"
#include "tests/support/Narrow.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

namespace {

using TestSupport::Narrow;

// "C:\" followed by 'a's and a name, 'length' characters in all.
CString LongPath(int length, const wchar_t* name)
{
    CString path(L"C:\\");
    path += CString(L'a', length - 3 - static_cast<int>(wcslen(name)));
    path += name;
    return path;
}

TEST(PathTools, QuotePathQuotesTextsWithSpaces)
{
    const struct {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Program Files\\App\\a.exe", L"\"C:\\Program Files\\App\\a.exe\""},
        {L"C:\\Tools\\a.exe", L"C:\\Tools\\a.exe"},
        {L"a b", L"\"a b\""},
        {L"", L""},
    };
    for (const auto& c : cases) {
        CString path(c.path);
        QuotePath(path);
        EXPECT_EQ(CString(c.expected), path) << Narrow(c.path);
    }
    // A long text is quoted whole as well, never left bare or cut.
    for (int length : {257, 258, 259, 300}) {
        const CString original = LongPath(length, L" x.exe");
        CString path(original);
        QuotePath(path);
        EXPECT_EQ(L"\"" + original + L"\"", path) << length;
    }
}

TEST(PathTools, RemovePathExtensionDropsTheLastOne)
{
    const struct {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"setup.exe", L"setup"},
        {L"setup", L"setup"},
        {L"C:\\dir\\x.tar.gz", L"C:\\dir\\x.tar"},
        {L"C:\\dir.d\\file", L"C:\\dir.d\\file"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        CString path(c.path);
        RemovePathExtension(path);
        EXPECT_EQ(CString(c.expected), path) << Narrow(c.path);
    }
}

TEST(PathTools, RenamePathExtensionReplacesOrAdds)
{
    const struct {
        const wchar_t* path;
        const wchar_t* extension;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\dir\\setup.exe", L".cfs", L"C:\\dir\\setup.cfs"},
        {L"C:\\dir\\setup", L".cfs", L"C:\\dir\\setup.cfs"},
        {L"x.tar.gz", L".zip", L"x.tar.zip"},
    };
    for (const auto& c : cases) {
        CString path(c.path);
        EXPECT_TRUE(RenamePathExtension(path, c.extension)) << Narrow(c.path);
        EXPECT_EQ(CString(c.expected), path) << Narrow(c.path);
    }
}

TEST(PathTools, RenamePathExtensionFailsBeyond259Characters)
{
    const struct {
        int length;           // of the path, ending in ".exe"
        const wchar_t* extension;
        bool fits;
    } cases[] = {
        {259, L".cfs", true},   // 259 characters
        {258, L".cfgx", true},  // 259
        {259, L".cfgx", false}, // 260: no room for the terminator
        {255, L".abcdefghi", false},
        {260, L".cfs", false},  // the text itself is too long
        {300, L".cfs", false},
    };
    for (const auto& c : cases) {
        const CString original = LongPath(c.length, L".exe");
        CString path(original);
        EXPECT_EQ(c.fits, RenamePathExtension(path, c.extension)) << c.length << " " << Narrow(c.extension);
        if (c.fits)
            EXPECT_EQ(original.Left(c.length - 4) + c.extension, path) << c.length;
        else
            EXPECT_EQ(original, path) << c.length;
    }
}

TEST(PathTools, StripPathToRootLeavesTheRoot)
{
    const struct {
        const wchar_t* path;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\a\\b", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"\\\\server\\share\\dir\\file", L"\\\\server\\share"},
    };
    for (const auto& c : cases) {
        CString path(c.path);
        EXPECT_TRUE(StripPathToRoot(path)) << Narrow(c.path);
        EXPECT_EQ(CString(c.expected), path) << Narrow(c.path);
    }
    const CString tooLong = LongPath(300, L"\\x");
    CString path(tooLong);
    EXPECT_FALSE(StripPathToRoot(path));
    EXPECT_EQ(tooLong, path);
}

TEST(PathTools, RemovePathFileSpecDropsTheLastComponent)
{
    const struct {
        const wchar_t* path;
        bool removed;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\a\\b.txt", true, L"C:\\a"},
        {L"C:\\a\\b\\", true, L"C:\\a\\b"},
        {L"C:\\a", true, L"C:\\"},
        {L"C:\\", false, L"C:\\"},
    };
    for (const auto& c : cases) {
        CString path(c.path);
        EXPECT_EQ(c.removed, RemovePathFileSpec(path)) << Narrow(c.path);
        EXPECT_EQ(CString(c.expected), path) << Narrow(c.path);
    }
}

TEST(PathTools, AppendPathJoinsWithOneBackslash)
{
    const struct {
        const wchar_t* path;
        const wchar_t* more;
        const wchar_t* expected;
    } cases[] = {
        {L"C:\\Temp\\", L"x.dll", L"C:\\Temp\\x.dll"},
        {L"C:\\Temp", L"x.dll", L"C:\\Temp\\x.dll"},
        {L"C:\\Temp", L"\\x.dll", L"C:\\Temp\\x.dll"},
        {L"C:\\Temp", L"sub\\x.dll", L"C:\\Temp\\sub\\x.dll"},
    };
    for (const auto& c : cases) {
        CString path(c.path);
        EXPECT_TRUE(AppendPath(path, c.more)) << Narrow(c.path) << " + " << Narrow(c.more);
        EXPECT_EQ(CString(c.expected), path) << Narrow(c.path) << " + " << Narrow(c.more);
    }
}

TEST(PathTools, AppendPathFailsBeyond259Characters)
{
    const CString folder = LongPath(250, L"");
    const struct {
        const wchar_t* more;
        bool fits;
    } cases[] = {
        {L"1234567", true},    // 258
        {L"12345678", true},   // 259
        {L"123456789", false}, // 260
        {L"1234567890123456789012345678901234567890", false},
    };
    for (const auto& c : cases) {
        CString path(folder);
        EXPECT_EQ(c.fits, AppendPath(path, c.more)) << Narrow(c.more);
        EXPECT_EQ(c.fits ? folder + L"\\" + c.more : folder, path) << Narrow(c.more);
    }
    const CString tooLong = LongPath(260, L"");
    CString path(tooLong);
    EXPECT_FALSE(AppendPath(path, L"x"));
    EXPECT_EQ(tooLong, path);
    CString small(L"C:\\a");
    EXPECT_FALSE(AppendPath(small, CString(L'b', 300)));
    EXPECT_EQ(CString(L"C:\\a"), small);
}

TEST(PathTools, IntAndSucceededTexts)
{
    const struct {
        int value;
        const wchar_t* text;
    } cases[] = {{-12, L"-12"}, {0, L"0"}, {7, L"7"}, {INT_MAX, L"2147483647"}, {INT_MIN, L"-2147483648"}};
    for (const auto& c : cases)
        EXPECT_EQ(CString(c.text), IntToString(c.value)) << c.value;
    EXPECT_EQ(CString(L"successful"), SucceededText(true));
    EXPECT_EQ(CString(L"failed"), SucceededText(false));
}

TEST(PathTools, NewGuidStringIsBracedUpperCaseAndNew)
{
    const CString first = NewGuidString();
    ASSERT_EQ(38, first.GetLength());
    EXPECT_EQ(L'{', first[0]);
    EXPECT_EQ(L'}', first[37]);
    for (int i = 1; i < 37; ++i) {
        const wchar_t c = first[i];
        if (i == 9 || i == 14 || i == 19 || i == 24)
            EXPECT_EQ(L'-', c) << i;
        else
            EXPECT_TRUE(iswxdigit(c) && !iswlower(c)) << i;
    }
    EXPECT_NE(first, NewGuidString());
}

// Points the temporary folder at a path of its own for the lifetime of the object.
class CTempPathScope
{
public:
    explicit CTempPathScope(const std::wstring& folder)
    {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[32768] = {};
            const DWORD length = GetEnvironmentVariableW(name, value, 32768);
            m_saved.push_back(std::make_pair(name, length > 0 ? std::wstring(value, length) : std::wstring()));
            SetEnvironmentVariableW(name, folder.c_str());
        }
    }
    ~CTempPathScope()
    {
        for (const auto& saved : m_saved)
            SetEnvironmentVariableW(saved.first, saved.second.empty() ? nullptr : saved.second.c_str());
    }
    CTempPathScope(const CTempPathScope&) = delete;
    CTempPathScope& operator=(const CTempPathScope&) = delete;

private:
    std::vector<std::pair<const wchar_t*, std::wstring>> m_saved;
};

bool IsEmptyFile(const CString& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeLow == 0 && data.nFileSizeHigh == 0;
}

TEST(PathTools, MakeTempFileNameCreatesAnEmptyFile)
{
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const CString first = MakeTempFileName();
    const CString second = MakeTempFileName();
    ASSERT_FALSE(first.IsEmpty());
    EXPECT_NE(first, second);
    for (const CString& name : {first, second}) {
        EXPECT_EQ(0, _wcsnicmp(name, folder, wcslen(folder))) << Narrow(name);
        EXPECT_EQ(0, _wcsnicmp(name.Mid(static_cast<int>(wcslen(folder))), L"set", 3)) << Narrow(name);
        EXPECT_TRUE(IsEmptyFile(name)) << Narrow(name);
        DeleteFileW(name);
    }
}

// The temporary folder may be 246 characters long with its backslash, no longer.
TEST(PathTools, MakeTempFileNameNeedsRoomForTheName)
{
    TestSupport::CTempFolder temp;
    std::wstring base = temp.Path() + L"\\";
    ASSERT_LT(base.size(), 150u);
    base += std::wstring(150 - base.size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
    const std::wstring fits = base + L"\\" + std::wstring(245 - base.size() - 1, L'f');      // 245 characters
    const std::wstring tooLong = base + L"\\" + std::wstring(246 - base.size() - 1, L'g');  // 246
    ASSERT_EQ(245u, fits.size());
    ASSERT_TRUE(CreateDirectoryW(fits.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(tooLong.c_str(), nullptr));
    {
        CTempPathScope scope(fits);
        const CString name = MakeTempFileName();
        ASSERT_FALSE(name.IsEmpty());
        EXPECT_EQ(CString(fits.c_str()) + L"\\", name.Left(246));
        EXPECT_LT(name.GetLength(), MAX_PATH);
        EXPECT_TRUE(IsEmptyFile(name));
        DeleteFileW(name);
    }
    {
        CTempPathScope scope(tooLong);
        EXPECT_TRUE(MakeTempFileName().IsEmpty());
    }
}

TEST(PathTools, FilesWithoutVersionGiveAnEmptyText)
{
    TestSupport::CTempFolder temp;
    const std::wstring text = temp / L"plain.txt";
    TestSupport::WriteFileBytes(text, TestSupport::ToBytes("no version here"));
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    for (const std::wstring& file : {text, temp / L"missing.dll", std::wstring(self), std::wstring()}) {
        CString value(L"unset");
        EXPECT_EQ(S_OK,
                  TestSupport::ComErrorOf([&] { value = GetFileVersionString(file.c_str(), L"ProductVersion"); }));
        EXPECT_TRUE(value.IsEmpty());
    }
    EXPECT_TRUE(GetFileVersionString(nullptr, L"ProductVersion").IsEmpty());
}

} // namespace
