// Canonical paths through the folder cache match the uncached ones.
#include "common/tools/CanonicalFolders.h"

#include "common/tools/PathSafety.h"
#include "tests/support/Narrow.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

using TestSupport::Narrow;

// Long and short names, files that exist and files that do not: the cached form
// of each is the one CanonicalPath gives, asked once or many times.
TEST(CanonicalFolders, GivesWhatCanonicalPathGives)
{
    TestSupport::CTempFolder temp;
    ASSERT_TRUE(::CreateDirectoryW((temp / L"Long Folder Name").c_str(), nullptr));
    TestSupport::WriteFileBytes(temp / L"Long Folder Name\\Mixed Case File.txt", TestSupport::ToBytes("x"));
    TestSupport::WriteFileBytes(temp / L"Long Folder Name\\Sub Folder\\inner.txt", TestSupport::ToBytes("x"));
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameW((temp / L"Long Folder Name").c_str(), shortForm, MAX_PATH));
    const std::wstring shortFolder = shortForm;
    wchar_t shortFile[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameW((temp / L"Long Folder Name\\Mixed Case File.txt").c_str(), shortFile, MAX_PATH));
    const std::wstring folder = temp / L"Long Folder Name";

    const std::vector<std::wstring> paths = {
        folder + L"\\Mixed Case File.txt",
        folder + L"\\MIXED CASE FILE.TXT",
        shortFolder + L"\\mixed case file.txt",
        shortFile,
        folder + L"\\missing.txt",
        folder + L"\\Sub Folder",
        folder + L"\\sub folder\\INNER.txt",
        folder + L"\\sub folder\\",
        folder + L"\\no such folder\\file.txt",
        folder + L"\\a\\..\\Mixed Case File.txt",
        folder + L"/sub folder/inner.txt",
        folder + L"\\*.txt",
        L"C:\\",
        L"C:\\no-such-file-5e1.txt",
        L"C:\\no-such-folder-5e1\\a\\b.txt",
        L"relative.txt",
        L"",
    };
    CCanonicalFolders folders;
    for (int round = 0; round < 2; ++round) {
        for (const std::wstring& path : paths) {
            SCOPED_TRACE(Narrow(path));
            EXPECT_EQ(Narrow(CanonicalPath(path.c_str())), Narrow(folders.Canonical(path.c_str())));
        }
    }
}

// Only the folders are remembered: a file that comes or goes in between, or a
// short name that comes with it, is seen.
TEST(CanonicalFolders, SeesFilesThatComeAndGoAfterTheirFolderIsKnown)
{
    TestSupport::CTempFolder temp;
    const std::wstring folder = CanonicalPath(temp.Path().c_str()).Str();
    const std::wstring file = folder + L"\\A Long Later Name.txt";
    CCanonicalFolders folders;
    EXPECT_EQ(Narrow(file), Narrow(folders.Canonical(file.c_str())));
    TestSupport::WriteFileBytes(file, TestSupport::ToBytes("x"));
    wchar_t shortForm[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameW(file.c_str(), shortForm, MAX_PATH));
    for (const std::wstring& path : {file, std::wstring(shortForm)}) {
        SCOPED_TRACE(Narrow(path));
        EXPECT_EQ(Narrow(CanonicalPath(path.c_str())), Narrow(folders.Canonical(path.c_str())));
    }
    EXPECT_EQ(Narrow(file), Narrow(folders.Canonical(shortForm)));
    ASSERT_TRUE(::DeleteFileW(file.c_str()));
    EXPECT_EQ(Narrow(CanonicalPath(shortForm)), Narrow(folders.Canonical(shortForm)));
}

int g_asked = 0;
bool NoNameMatters(const CString&)
{
    ++g_asked;
    return false;
}
bool EveryNameMatters(const CString&)
{
    ++g_asked;
    return true;
}

// Where the caller says names do not matter, the last name stays as spelled and
// the folder is still canonical; elsewhere the name is looked up. Asked once per folder.
TEST(CanonicalFolders, KeepsTheSpelledNameWhereNamesDoNotMatter)
{
    TestSupport::CTempFolder temp;
    const std::wstring folder = CanonicalPath(temp.Path().c_str()).Str();
    const std::wstring file = folder + L"\\A Long File Name.txt";
    TestSupport::WriteFileBytes(file, TestSupport::ToBytes("x"));
    wchar_t shortFile[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetShortPathNameW(file.c_str(), shortFile, MAX_PATH));
    const std::wstring shortPath = shortFile;
    const std::wstring spelled = folder + shortPath.substr(shortPath.find_last_of(L'\\'));
    ASSERT_NE(Narrow(file), Narrow(spelled));

    struct SCase
    {
        CCanonicalFolders::NamesMatter namesMatter;
        std::wstring expected;
    };
    const SCase cases[] = {
        {NoNameMatters, spelled},
        {EveryNameMatters, file},
    };
    for (const SCase& test : cases) {
        CCanonicalFolders folders;
        g_asked = 0;
        for (int round = 0; round < 2; ++round)
            EXPECT_EQ(Narrow(test.expected), Narrow(folders.Canonical(spelled.c_str(), test.namesMatter)));
        EXPECT_EQ(1, g_asked);
    }
}

} // namespace
