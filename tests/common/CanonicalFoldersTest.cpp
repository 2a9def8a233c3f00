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

} // namespace
