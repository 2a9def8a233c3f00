// Tests of the path checks.
#include "common/tools/PathSafety.h"

#include "tests/support/Narrow.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <string>

namespace {

using TestSupport::Narrow;

// A folder that no test machine has, so that its paths keep their spelling.
#define NONE L"C:\\no-such-folder-5e1"

// Every text check over one table. 'refusal' is the reason of FullPathRefusal,
// "" when the path is taken.
TEST(PathSafety, EveryTextCheckFollowsTheTable)
{
    const struct
    {
        const wchar_t* text;
        bool full;           // IsFullPath
        const char* refusal; // FullPathRefusal
        bool relative;       // IsSafeRelativePath
        bool name;           // IsSafeFileName
        bool device;         // IsDeviceName
        bool relativePath;   // IsRelativePath
    } cases[] = {
        // Full paths: drive and UNC, either separator.
        {L"C:\\Apps", true, "", false, false, false, false},
        {L"z:/Apps", true, "", false, false, false, false},
        {L"C:\\", true, "", false, false, false, false},
        {L"C:\\Apps\\", true, "", false, false, false, false},
        {L"C:\\Apps\\.\\x", true, "", false, false, false, false},
        {L"\\\\server\\share\\Apps", true, "", false, false, false, false},
        {L"//server/share/Apps", true, "", false, false, false, false},
        {L"C:\\Apps\\..a\\b..c", true, "", false, false, false, false},
        {L"C:\\Apps\\console\\x.con", true, "", false, false, false, false},
        // Not full: the current folder or the drive's would decide.
        {L"C:Apps", false, "not a full path", false, false, false, false},
        {L"C:", false, "not a full path", false, false, false, false},
        {L"\\Apps", false, "not a full path", false, false, false, false},
        {L"/Apps", false, "not a full path", false, false, false, false},
        {L"D:Apps\\Sub", false, "not a full path", false, false, false, false},
        {L"1:\\Apps", false, "not a full path", false, false, false, false},
        {L"Apps\\Sub", false, "not a full path", true, false, false, true},
        {L"", false, "empty path", false, false, false, false},
        // Device paths pass the text on unchecked.
        {L"\\\\?\\C:\\Apps", true, "device path", false, false, false, false},
        {L"\\\\.\\C:\\Apps", true, "device path", false, false, false, false},
        {L"//?/C:/Apps", true, "device path", false, false, false, false},
        {L"\\\\.\\PhysicalDrive0", true, "device path", false, false, false, false},
        {L"C:\\Apps\\..\\Windows", true, "'..' in the path", false, false, false, false},
        {L"C:/Apps/..", true, "'..' in the path", false, false, false, false},
        {L"C:\\Apps\\*.dll", true, "wildcard or stream in the path", false, false, false, false},
        {L"C:\\Apps\\a.txt:hidden", true, "wildcard or stream in the path", false, false, false, false},
        {L"C:\\Apps\\a|b", true, "wildcard or stream in the path", false, false, false, false},
        // Device names and names the system would shorten, in any component.
        {L"C:\\Apps\\NUL", true, "device name in the path", false, false, false, false},
        {L"C:\\Apps\\com1.log", true, "device name in the path", false, false, false, false},
        {L"C:\\aux\\x.txt", true, "device name in the path", false, false, false, false},
        {L"\\\\server\\share\\Lpt9.tar.gz", true, "device name in the path", false, false, false, false},
        {L"C:\\Apps\\x.txt.", true, "trailing dot or space in a name", false, false, false, false},
        {L"C:\\Apps\\x.txt \\", true, "trailing dot or space in a name", false, false, false, false},
        {L"C:\\Apps.\\x.txt", true, "trailing dot or space in a name", false, false, false, false},
        {L"C:\\Apps\\...", true, "trailing dot or space in a name", false, false, false, false},
        // Relative names below a folder.
        {L"a.txt", false, "not a full path", true, true, false, true},
        {L"sub\\c.dll", false, "not a full path", true, false, false, true},
        {L"sub\\deep\\c.dll", false, "not a full path", true, false, false, true},
        {L"..\\evil.txt", false, "not a full path", false, false, false, true},
        {L"sub\\..\\..\\evil.txt", false, "not a full path", false, false, false, true},
        {L"sub/../../evil.txt", false, "not a full path", false, false, false, true},
        {L"sub/c.dll", false, "not a full path", false, false, false, true},
        {L".\\a.txt", false, "not a full path", false, false, false, true},
        {L"\\evil.txt", false, "not a full path", false, false, false, false},
        {L"sub\\", false, "not a full path", false, false, false, true},
        {L"sub\\\\a.txt", false, "not a full path", false, false, false, true},
        {L"C:\\evil.txt", true, "", false, false, false, false},
        {L"C:evil.txt", false, "not a full path", false, false, false, false},
        {L"a.txt:hidden", false, "not a full path", false, false, false, true},
        {L"a*.txt", false, "not a full path", false, false, false, true},
        {L"a?.txt", false, "not a full path", false, false, false, true},
        {L"a<b>", false, "not a full path", false, false, false, true},
        {L"a\"b", false, "not a full path", false, false, false, true},
        {L"sub\\NUL", false, "not a full path", false, false, false, true},
        {L"a\\aux.txt", false, "not a full path", false, false, false, true},
        {L"evil.txt.", false, "not a full path", false, false, false, true},
        {L"sub\\evil.txt ", false, "not a full path", false, false, false, true},
        {L"sub.\\evil.txt", false, "not a full path", false, false, false, true},
        // One component: plain file names, and the device names in every form.
        {L"setup.xml", false, "not a full path", true, true, false, true},
        {L"1033", false, "not a full path", true, true, false, true},
        {L"..a", false, "not a full path", true, true, false, true},
        {L"name with spaces", false, "not a full path", true, true, false, true},
        {L"\x00e9t\x00e9", false, "not a full path", true, true, false, true},
        {L" a", false, "not a full path", true, true, false, true},
        {L"console", false, "not a full path", true, true, false, true},
        {L"nul_x.txt", false, "not a full path", true, true, false, true},
        {L"COM0", false, "not a full path", true, true, false, true},
        {L"COM10", false, "not a full path", true, true, false, true},
        {L"lpt", false, "not a full path", true, true, false, true},
        {L"auxiliary.log", false, "not a full path", true, true, false, true},
        {L"x.con", false, "not a full path", true, true, false, true},
        {L".", false, "not a full path", false, false, false, true},
        {L"..", false, "not a full path", false, false, false, true},
        {L"...", false, "not a full path", false, false, false, true},
        {L" ", false, "not a full path", false, false, false, true},
        {L". .", false, "not a full path", false, false, false, true},
        {L"a..", false, "not a full path", false, false, false, true},
        {L"good.txt ", false, "not a full path", false, false, false, true},
        {L"a. ", false, "not a full path", false, false, false, true},
        {L"a\nb", false, "not a full path", false, false, false, true},
        {L"a\\b", false, "not a full path", true, false, false, true},
        {L"a/b", false, "not a full path", false, false, false, true},
        {L"c:", false, "not a full path", false, false, false, false},
        {L"good.txt.", false, "not a full path", false, false, false, true},
        {L"CON", false, "not a full path", false, false, true, true},
        {L"prn", false, "not a full path", false, false, true, true},
        {L"Aux", false, "not a full path", false, false, true, true},
        {L"nul", false, "not a full path", false, false, true, true},
        {L"nul.txt", false, "not a full path", false, false, true, true},
        {L"Com1.log", false, "not a full path", false, false, true, true},
        {L"COM9", false, "not a full path", false, false, true, true},
        {L"lpt1", false, "not a full path", false, false, true, true},
        {L"LPT9.tar.gz", false, "not a full path", false, false, true, true},
        {L"con .txt", false, "not a full path", false, false, true, true},
        {L"CONOUT$", false, "not a full path", false, false, true, true},
        {L"conin$.log", false, "not a full path", false, false, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(c.full, IsFullPath(c.text));
        const wchar_t* refusal = FullPathRefusal(c.text);
        EXPECT_EQ(c.refusal, Narrow(refusal));
        EXPECT_EQ(c.relative, IsSafeRelativePath(c.text));
        EXPECT_EQ(c.name, IsSafeFileName(c.text));
        EXPECT_EQ(c.device, IsDeviceName(c.text));
        EXPECT_EQ(c.relativePath, IsRelativePath(c.text));
    }
}

// The canonical form of each text, the same without its trailing separators, and
// how it compares with the other column.
TEST(PathSafety, CanonicalFormsFollowTheTable)
{
    TestSupport::CTempFolder temp;
    ASSERT_TRUE(::CreateDirectoryW((temp / L"Long Folder Name").c_str(), nullptr));
    // The temporary folder may itself be named by a short form.
    wchar_t longForm[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetLongPathNameW((temp / L"Long Folder Name").c_str(), longForm, MAX_PATH));
    const std::wstring folder = longForm;
    const std::wstring parent = folder.substr(0, folder.find_last_of(L'\\'));
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameW(folder.c_str(), shortForm, MAX_PATH));
    const std::wstring shortFolder = shortForm;
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));

    const struct
    {
        std::wstring text;
        std::wstring canonical;
        std::wstring trimmed;
        std::wstring other; // compared with the canonical form
        bool same;          // IsSamePath
        bool below;         // IsPathBelow(canonical, other)
    } cases[] = {
        {NONE L"\\a\\b", NONE L"\\a\\b", NONE L"\\a\\b", NONE L"\\A\\B", true, false},
        {NONE L"/a/b", NONE L"\\a\\b", NONE L"\\a\\b", NONE L"\\a", false, true},
        {NONE L"\\a\\..\\b", NONE L"\\b", NONE L"\\b", NONE L"\\a", false, false},
        {NONE L"\\a\\.\\b\\.", NONE L"\\a\\b", NONE L"\\a\\b", NONE L"\\", false, true},
        {NONE L"\\a\\b\\", NONE L"\\a\\b\\", NONE L"\\a\\b", NONE L"\\a\\b", false, false},
        {NONE L"\\a\\b//", NONE L"\\a\\b\\", NONE L"\\a\\b", NONE L"\\a", false, true},
        {NONE L"\\ab", NONE L"\\ab", NONE L"\\ab", NONE L"\\a", false, false},
        {L"C:\\", L"C:\\", L"C:\\", L"c:\\", true, false},
        {L"C:/", L"C:\\", L"C:\\", L"C:\\", true, false},
        {L"C:\\..\\..", L"C:\\", L"C:\\", L"C:\\", true, false},
        {NONE L"\\x\\", NONE L"\\x\\", NONE L"\\x", L"C:\\", false, true},
        {L"\\\\server\\share\\a\\..\\b", L"\\\\server\\share\\b", L"\\\\server\\share\\b", L"\\\\SERVER\\share", false,
         true},
        {L"\\\\server\\share\\", L"\\\\server\\share\\", L"\\\\server\\share", L"\\\\server\\share", false, false},
        // Short names and relative texts take the long, full form of what exists.
        {shortFolder, folder, folder, folder, true, false},
        {shortFolder + L"\\new\\file.txt", folder + L"\\new\\file.txt", folder + L"\\new\\file.txt", folder, false,
         true},
        {L"new\\..\\file.txt", folder + L"\\file.txt", folder + L"\\file.txt", folder, false, true},
        {L".", folder, folder, parent, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        const CString canonical = CanonicalPath(c.text);
        EXPECT_EQ(Narrow(c.canonical), Narrow(canonical));
        CString trimmed = canonical;
        TrimTrailingSeparators(trimmed);
        EXPECT_EQ(Narrow(c.trimmed), Narrow(trimmed));
        EXPECT_EQ(Narrow(c.trimmed), Narrow(CanonicalFolder(c.text.c_str())));
        EXPECT_EQ(c.same, IsSamePath(canonical, c.other.c_str()));
        EXPECT_EQ(c.below, IsPathBelow(canonical, c.other.c_str()));
    }
    // Made full without looking at the file system; nothing when there is no text.
    EXPECT_EQ(Narrow(folder + L"\\x"), Narrow(FullPathName(L"x")));
    EXPECT_EQ("", Narrow(FullPathName(L"")));
    // At any length, around the short buffer's size and past it.
    for (size_t length : {MAX_PATH - 1, MAX_PATH, MAX_PATH + 1, 3 * MAX_PATH}) {
        const std::wstring longPath = NONE L"\\" + std::wstring(length - std::wstring(NONE L"\\").size(), L'x');
        SCOPED_TRACE(length);
        EXPECT_EQ(Narrow(longPath), Narrow(FullPathName(longPath.c_str())));
    }
    EXPECT_EQ("", Narrow(CanonicalPath(L"")));
    ::SetCurrentDirectoryW(current);
}

// The long form of what exists, any other text as it stands: unlike the canonical
// form, nothing is made full or resolved.
TEST(PathSafety, LongFormsFollowTheTable)
{
    TestSupport::CTempFolder temp;
    ASSERT_TRUE(::CreateDirectoryW((temp / L"Long Folder Name").c_str(), nullptr));
    TestSupport::WriteFileBytes(temp / L"Long Folder Name\\Long File Name.txt", {});
    wchar_t longForm[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetLongPathNameW((temp / L"Long Folder Name").c_str(), longForm, MAX_PATH));
    const std::wstring folder = longForm;
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameW(folder.c_str(), shortForm, MAX_PATH));
    const std::wstring shortFolder = shortForm;
    ASSERT_NE(folder, shortFolder);

    const struct
    {
        std::wstring text;
        std::wstring longForm; // LongPathName
    } cases[] = {
        {shortFolder, folder},
        {shortFolder + L"\\Long File Name.txt", folder + L"\\Long File Name.txt"},
        {folder, folder},
        // What does not exist keeps its spelling, the short part too.
        {shortFolder + L"\\missing.txt", shortFolder + L"\\missing.txt"},
        {NONE L"\\a\\..\\b", NONE L"\\a\\..\\b"},
        {NONE L"/a/b", NONE L"/a/b"},
        {L"no-such-file-5e1.txt", L"no-such-file-5e1.txt"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(Narrow(c.longForm), Narrow(LongPathName(c.text.c_str())));
    }
}

// The form the file functions take a path in: "\\?\" from MAX_PATH characters on,
// made full first; anything shorter as it is.
TEST(PathSafety, ApiFormsFollowTheTable)
{
    TestSupport::CTempFolder temp;
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(::SetCurrentDirectoryW(temp.Path().c_str()));
    wchar_t full[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetCurrentDirectoryW(MAX_PATH, full));
    const std::wstring here = full;

    // A drive path of exactly 'length' characters.
    const auto Deep = [](size_t length) {
        const std::wstring head = NONE L"\\";
        return head + std::wstring(length - head.size(), L'x');
    };
    const std::wstring name(300, L'n');
    const struct
    {
        std::wstring text;
        std::wstring api; // ApiPath
    } cases[] = {
        {NONE L"\\a\\b", NONE L"\\a\\b"},
        {L"relative\\a", L"relative\\a"},
        {Deep(MAX_PATH - 1), Deep(MAX_PATH - 1)},
        {Deep(MAX_PATH), L"\\\\?\\" + Deep(MAX_PATH)},
        {Deep(3 * MAX_PATH), L"\\\\?\\" + Deep(3 * MAX_PATH)},
        // Made full and plain first: the "\\?\" form is taken as it stands.
        {NONE L"/a/../" + name, L"\\\\?\\" NONE L"\\" + name},
        {name, L"\\\\?\\" + here + L"\\" + name},
        {L"\\\\server\\share\\" + name, L"\\\\?\\UNC\\server\\share\\" + name},
        {L"\\\\?\\" NONE L"\\" + name, L"\\\\?\\" NONE L"\\" + name},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.text));
        EXPECT_EQ(Narrow(c.api), Narrow(ApiPath(c.text.c_str())));
    }
    ::SetCurrentDirectoryW(current);
}

// Which canonical paths begin with a folder's text: the folder, what lies below it,
// and the siblings whose names continue it.
TEST(PathSafety, PathBeginningsFollowTheTable)
{
    const struct
    {
        const wchar_t* path;
        const wchar_t* folder;
        bool starts; // StartsWithPath
    } cases[] = {
        {L"C:\\Windows", L"C:\\Windows", true},
        {L"C:\\Windows\\", L"C:\\Windows", true},
        {L"C:\\Windows", L"C:\\Windows\\", true},
        {L"C:\\Windows\\System32", L"C:\\Windows", true},
        {L"c:\\WINDOWS\\system32", L"C:\\Windows", true},
        {L"C:\\Windows2", L"C:\\Windows", true},
        {L"C:\\WindowsApps\\Product", L"C:\\Windows\\", true},
        {L"C:\\Program Files", L"C:\\", true},
        {L"C:\\Win", L"C:\\Windows", false},
        {L"C:\\Apps\\Windows", L"C:\\Windows", false},
        {L"D:\\Windows", L"C:\\Windows", false},
        {L"C:\\Windows", L"", false},
        {L"", L"C:\\Windows", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.path) + " | " + Narrow(c.folder));
        EXPECT_EQ(c.starts, StartsWithPath(c.path, c.folder));
    }
}

// How two canonical texts compare, without the file system: IsSamePath as the
// texts stand, IsPathBelow after trailing separators, and only past a separator.
TEST(PathSafety, ComparisonsFollowTheTable)
{
    const std::wstring deep = L"C:\\" + std::wstring(120, L'd') + L"\\" + std::wstring(150, L'e');
    std::wstring deepUpper = deep;
    for (wchar_t& c : deepUpper)
        c = static_cast<wchar_t>(std::towupper(c));
    std::wstring deepOther = deep;
    deepOther.back() = L'f';
    const struct
    {
        std::wstring first;
        std::wstring second;
        bool same;        // IsSamePath(first, second)
        bool firstBelow;  // IsPathBelow(first, second)
        bool secondBelow; // IsPathBelow(second, first)
    } cases[] = {
        // Letter case does not matter, in ASCII or beyond.
        {L"C:\\Program Files", L"c:\\PROGRAM FILES", true, false, false},
        {L"C:\\\x00C4rger\\\x0394", L"c:\\\x00E4rger\\\x03B4", true, false, false},
        {L"C:\\", L"c:\\", true, false, false},
        {L"", L"", true, false, false},
        {L"C:\\a", L"C:\\b", false, false, false},
        // Trailing separators: the same place for IsPathBelow, not the same text.
        {L"C:\\Program Files\\", L"C:\\Program Files", false, false, false},
        {L"C:\\a\\\\", L"C:\\a", false, false, false},
        {L"C:\\a\\b\\\\", L"C:\\A", false, true, false},
        {L"C:\\Program Files\\App", L"C:\\Program Files\\", false, true, false},
        {L"C:\\PROGRAM FILES\\App\\Sub", L"c:\\program files", false, true, false},
        // Below a root, a bare drive, a share.
        {L"C:\\a", L"C:\\", false, true, false},
        {L"C:\\a", L"C:", false, true, false},
        {L"C:/x", L"C:/", false, false, false},
        {L"D:\\a", L"C:\\", false, false, false},
        {L"\\\\server\\share\\a", L"\\\\SERVER\\Share", false, true, false},
        {L"\\\\server\\share2", L"\\\\server\\share", false, false, false},
        // A prefix of the text is not a folder above it.
        {L"C:\\Program Files", L"C:\\Prog", false, false, false},
        {L"C:\\Prog\\x", L"C:\\Program Files", false, false, false},
        {L"C:\\ab", L"C:\\a", false, false, false},
        {L"C:\\a/b", L"C:\\a", false, false, false},
        {L"C:\\a", L"", false, false, false},
        // Long paths, past any fixed buffer.
        {deep, deepUpper, true, false, false},
        {deep, deepOther, false, false, false},
        {deep + L"\\x", deepUpper, false, true, false},
        {deep + L"x\\y", deep, false, false, false},
        {deepOther + L"\\x", deep, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.first) + " | " + Narrow(c.second));
        EXPECT_EQ(c.same, IsSamePath(c.first.c_str(), c.second.c_str()));
        EXPECT_EQ(c.same, IsSamePath(c.second.c_str(), c.first.c_str()));
        EXPECT_EQ(c.firstBelow, IsPathBelow(c.first.c_str(), c.second.c_str()));
        EXPECT_EQ(c.secondBelow, IsPathBelow(c.second.c_str(), c.first.c_str()));
    }
}

// Which names the system may know by a longer one, so that only those need a
// search for their long form.
TEST(PathSafety, ShortNameShapesFollowTheTable)
{
    const struct
    {
        const wchar_t* name;
        bool mayBeShort; // MayBeShortName
    } cases[] = {
        {L"a.txt", true},
        {L"f00001.txt", true},
        {L"ABCDEFGH.TXT", true},
        {L"abcdefgh", true},
        {L"abc.", true},
        {L".txt", true},
        {L"PROGRA~1", true},
        {L"LONGFI~1.TXT", true},
        {L"A Long~Name.text", true},
        {L"abcdefghi", false},
        {L"abcdefghi.txt", false},
        {L"a.html", false},
        {L"a.b.c", false},
        {L"a b.txt", false},
        {L"a+b.txt", false},
        {L"a,b", false},
        {L"a;b", false},
        {L"a=b", false},
        {L"a[1].txt", false},
        {L"Mixed Case File.txt", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        EXPECT_EQ(c.mayBeShort, MayBeShortName(c.name));
    }
}

} // namespace
