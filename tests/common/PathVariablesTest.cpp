// Tests of the path variables.
#include "common/tools/PathVariables.h"

#include "tests/support/ProcessRunner.h"
#include "tests/support/Narrow.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <set>
#include <stdexcept>
#include <string>

namespace {

// What the shell gives for a folder, asked as the table asks; false when it gives none.
bool ShellFolder(int csidl, CString& path)
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer)) ||
        buffer[0] == L'\0')
        return false;
    path = buffer;
    return true;
}

CString Windows()
{
    CString path;
    EXPECT_TRUE(ShellFolder(CSIDL_WINDOWS, path));
    return path;
}

using TestSupport::Narrow;

TEST(PathVariables, TableHoldsTheKnownFoldersOnceEachLowerCased)
{
    CPathVariables variables;
    const CPathVariables::CTable& table = variables.Table();
    EXPECT_EQ(51u, table.size());
    for (const auto& variable : table) {
        const std::wstring& name = variable.first.Str();
        for (wchar_t c : name)
            EXPECT_EQ(static_cast<wchar_t>(towlower(c)), c) << Narrow(variable.first);
        EXPECT_GE(variable.second.m_nFolder, 0);
        EXPECT_TRUE(variable.second.m_strValue.IsEmpty()) << "resolved before use: " << Narrow(variable.first);
    }
    // Every row's name is there and names the last row that carries it.
    std::set<std::wstring> names;
    for (int row = 0; row < CPathVariables::kKnownFolderRows; ++row) {
        const CPathVariables::SKnownFolder* folder = CPathVariables::KnownFolder(row);
        ASSERT_NE(nullptr, folder);
        names.insert(CString(folder->name).MakeLower().Str());
        int last = row;
        for (int later = row + 1; later < CPathVariables::kKnownFolderRows; ++later)
            if (_wcsicmp(CPathVariables::KnownFolder(later)->name, folder->name) == 0)
                last = later;
        const auto found = table.find(folder->name);
        ASSERT_NE(table.end(), found) << row;
        EXPECT_EQ(last, found->second.m_nFolder) << row;
    }
    EXPECT_EQ(51u, names.size());
    EXPECT_EQ(nullptr, CPathVariables::KnownFolder(-1));
    EXPECT_EQ(nullptr, CPathVariables::KnownFolder(56));
}

TEST(PathVariables, RepeatedNamesTakeTheLaterRow)
{
    const struct {
        const wchar_t* name;
        int row;
        int csidl;
    } cases[] = {
        {L"%FOLDERID_Startup%", 51, CSIDL_STARTUP},
        {L"%FOLDERID_CommonStartup%", 16, CSIDL_COMMON_STARTUP},
        {L"%FOLDERID_Favorites%", 25, CSIDL_FAVORITES},
        {L"%FOLDERID_NetworkFolder%", 36, CSIDL_NETWORK},
        {L"%FOLDERID_Documents%", 37, CSIDL_PERSONAL},
        {L"%FOLDERID_Windows%", 55, CSIDL_WINDOWS},
        {L"%FOLDERID_AdminTools%", 0, CSIDL_ADMINTOOLS},
    };
    CPathVariables variables;
    for (const auto& c : cases) {
        const auto found = variables.Table().find(c.name);
        ASSERT_NE(variables.Table().end(), found) << Narrow(c.name);
        EXPECT_EQ(c.row, found->second.m_nFolder) << Narrow(c.name);
        EXPECT_EQ(c.csidl, CPathVariables::KnownFolder(c.row)->csidl) << Narrow(c.name);

        // The text comes out as the shell answers for the later row's folder.
        CString text(c.name);
        CString expected;
        const bool resolves = ShellFolder(c.csidl, expected);
        EXPECT_EQ(resolves, variables.Expand(text)) << Narrow(c.name);
        EXPECT_EQ(resolves ? expected : CString(c.name), text) << Narrow(c.name);
    }
}

TEST(PathVariables, EveryKnownFolderGivesTheShellsPathOrStays)
{
    CPathVariables variables;
    for (const auto& variable : variables.Table()) {
        CString expected;
        const bool resolves = ShellFolder(CPathVariables::KnownFolder(variable.second.m_nFolder)->csidl, expected);
        CString text = L"[" + variable.first + L"]";
        EXPECT_EQ(resolves, variables.Expand(text)) << Narrow(variable.first);
        EXPECT_EQ(resolves ? L"[" + expected + L"]" : L"[" + variable.first + L"]", text) << Narrow(variable.first);
    }
}

TEST(PathVariables, NamesIgnoreLetterCase)
{
    const CString windows = Windows();
    const wchar_t* forms[] = {L"%FOLDERID_Windows%", L"%FOLDERID_windows%", L"%folderid_WINDOWS%",
                              L"%folderid_windows%"};
    for (const wchar_t* form : forms) {
        CPathVariables variables;
        CString text = CString(form) + L"\\fonts";
        EXPECT_TRUE(variables.Expand(text)) << Narrow(form);
        EXPECT_EQ(windows + L"\\fonts", text) << Narrow(form);
    }
}

TEST(PathVariables, TextsWithoutVariablesComeBackUnchanged)
{
    const wchar_t* texts[] = {
        L"", L"100%", L"50% of %", L"%", L"%%", L"%%%", L"%unknown%", L"%FOLDERID_Windows", L"FOLDERID_Windows%",
        L"% FOLDERID_Windows%", L"C:\\plain\\path",
    };
    CPathVariables variables;
    for (const wchar_t* original : texts) {
        CString text(original);
        EXPECT_FALSE(variables.Expand(text)) << Narrow(original);
        EXPECT_EQ(CString(original), text) << Narrow(original);
    }
}

TEST(PathVariables, ExpandsAmongStrayPercentSigns)
{
    const CString windows = Windows();
    const struct {
        const wchar_t* text;
        CString expected;
    } cases[] = {
        {L"50%%FOLDERID_Windows%", L"50%" + windows},
        {L"%%FOLDERID_Windows%%", L"%" + windows + L"%"},
        {L"%FOLDERID_Windows%%FOLDERID_Windows%", windows + windows},
        {L"a%b%FOLDERID_Windows%", L"a%b" + windows},
    };
    CPathVariables variables;
    for (const auto& c : cases) {
        CString text(c.text);
        EXPECT_TRUE(variables.Expand(text)) << Narrow(c.text);
        EXPECT_EQ(c.expected, text) << Narrow(c.text);
    }
}

TEST(PathVariables, FolderWithoutPathStaysInTheText)
{
    // The recycle bin is a virtual folder: the shell gives no path for it.
    CString none;
    ASSERT_FALSE(ShellFolder(CSIDL_BITBUCKET, none));
    CPathVariables variables;
    CString text(L"%FOLDERID_RecycleBinFolder%\\x;%FOLDERID_Windows%");
    EXPECT_TRUE(variables.Expand(text));
    EXPECT_EQ(L"%FOLDERID_RecycleBinFolder%\\x;" + Windows(), text);

    CString alone(L"%FOLDERID_RecycleBinFolder%");
    EXPECT_FALSE(variables.Expand(alone));
    EXPECT_EQ(CString(L"%FOLDERID_RecycleBinFolder%"), alone);
}

TEST(PathVariables, DefineRefusesBadNames)
{
    const wchar_t* names[] = {L"", L"%", L"%%", L"%A", L"A%", L"%x", L"x", L"AB%C"};
    CPathVariables variables;
    for (const wchar_t* name : names) {
        EXPECT_FALSE(variables.Define(name, L"value")) << Narrow(name);
        EXPECT_EQ(51u, variables.Table().size()) << Narrow(name);
    }
    EXPECT_TRUE(variables.Define(L"%x%", L"value"));
    EXPECT_EQ(52u, variables.Table().size());
}

TEST(PathVariables, DefinedValuesReplaceEveryForm)
{
    CPathVariables variables;
    ASSERT_TRUE(variables.Define(L"%TargetDir%", L"C:\\Apps\\Tool"));
    const auto found = variables.Table().find(L"%TARGETDIR%");
    ASSERT_NE(variables.Table().end(), found);
    EXPECT_EQ(CString(L"%targetdir%"), found->first);
    EXPECT_EQ(-1, found->second.m_nFolder);
    EXPECT_EQ(CString(L"C:\\Apps\\Tool"), found->second.m_strValue);

    const struct {
        const wchar_t* text;
        const wchar_t* expected;
    } cases[] = {
        {L"%targetdir%\\bin;%TargetDir%\\lib", L"C:\\Apps\\Tool\\bin;C:\\Apps\\Tool\\lib"},
        {L"%TARGETDIR%", L"C:\\Apps\\Tool"},
        {L"x%TargetDir%y%TargetDir%z", L"xC:\\Apps\\Tooly" L"C:\\Apps\\Toolz"},
    };
    for (const auto& c : cases) {
        CString text(c.text);
        EXPECT_TRUE(variables.Expand(text)) << Narrow(c.text);
        EXPECT_EQ(CString(c.expected), text) << Narrow(c.text);
    }

    // A second Define replaces the value; the name keeps one entry.
    ASSERT_TRUE(variables.Define(L"%TARGETDIR%", L"D:\\Other"));
    EXPECT_EQ(52u, variables.Table().size());
    CString text(L"%TargetDir%");
    EXPECT_TRUE(variables.Expand(text));
    EXPECT_EQ(CString(L"D:\\Other"), text);
}

TEST(PathVariables, NameWithInnerPercentIsNeverFound)
{
    CPathVariables variables;
    EXPECT_TRUE(variables.Define(L"%A%B%", L"value"));
    CString text(L"%A%B%");
    EXPECT_FALSE(variables.Expand(text));
    EXPECT_EQ(CString(L"%A%B%"), text);
}

TEST(PathVariables, EmptyCustomValueStaysInTheText)
{
    CPathVariables variables;
    ASSERT_TRUE(variables.Define(L"%Empty%", L""));
    CString text(L"a%Empty%b%Empty%");
    EXPECT_FALSE(variables.Expand(text));
    EXPECT_EQ(CString(L"a%Empty%b%Empty%"), text);
}

TEST(PathVariables, CustomValueWinsOverKnownFolder)
{
    CPathVariables variables;
    ASSERT_TRUE(variables.Define(L"%FOLDERID_Windows%", L"W:\\"));
    EXPECT_EQ(51u, variables.Table().size());
    CString text(L"%folderid_windows%fonts");
    EXPECT_TRUE(variables.Expand(text));
    EXPECT_EQ(CString(L"W:\\fonts"), text);
}

TEST(PathVariables, InsertedValuesWaitForTheNextPass)
{
    const CString windows = Windows();
    CPathVariables variables;
    ASSERT_TRUE(variables.Define(L"%Fonts%", L"%FOLDERID_Windows%\\fonts"));
    ASSERT_TRUE(variables.Define(L"%Self%", L"<%Self%>"));

    const struct {
        const wchar_t* text;
        CString firstPass;
    } cases[] = {
        {L"%Fonts%", L"%FOLDERID_Windows%\\fonts"},
        // The later literal form also replaces the one the value brought in.
        {L"%Fonts%;%FOLDERID_Windows%", windows + L"\\fonts;" + windows},
        // The scan goes on after the inserted value, wherever earlier replacements moved it.
        {L"%Fonts%;%FOLDERID_Windows%;%Self%", windows + L"\\fonts;" + windows + L";<%Self%>"},
    };
    for (const auto& c : cases) {
        CString text(c.text);
        EXPECT_TRUE(variables.Expand(text)) << Narrow(c.text);
        EXPECT_EQ(c.firstPass, text) << Narrow(c.text);
    }

    CString nested(L"%Fonts%");
    EXPECT_TRUE(variables.Expand(nested));
    EXPECT_TRUE(variables.Expand(nested));
    EXPECT_EQ(windows + L"\\fonts", nested);
    EXPECT_FALSE(variables.Expand(nested));
}

TEST(PathVariables, ValuesNamingThemselvesEndEveryPass)
{
    CPathVariables variables;
    ASSERT_TRUE(variables.Define(L"%Self%", L"<%Self%>"));
    ASSERT_TRUE(variables.Define(L"%Twice%", L"%Twice%%Twice%"));

    CString once(L"%Self%");
    EXPECT_TRUE(variables.Expand(once));
    EXPECT_EQ(CString(L"<%Self%>"), once);

    // The form inside the value inserted for a later place is met again in the
    // same pass; growth stays bounded all the same.
    CString twice(L"%Self%%Self%");
    EXPECT_TRUE(variables.Expand(twice));
    EXPECT_EQ(0, twice.Find(L"<<"));

    CString doubling(L"%Twice%");
    EXPECT_TRUE(variables.Expand(doubling));
    EXPECT_EQ(CString(L"%Twice%%Twice%"), doubling);
    EXPECT_TRUE(variables.Expand(doubling));
    EXPECT_GT(doubling.GetLength(), CPathVariables::kMaxGrowth);
    EXPECT_LE(doubling.GetLength(), 3 * CPathVariables::kMaxGrowth);
}

TEST(PathVariables, StepsOfTheExpansion)
{
    CPathVariables variables;
    ASSERT_TRUE(variables.Define(L"%Short%", L"s"));
    const CString text(L"x%SHORT%y%Short%z%SHORT%");
    EXPECT_EQ(nullptr, variables.Lookup(text, 0));
    EXPECT_EQ(nullptr, variables.Lookup(text, 7)); // the closing sign starts "%y%"
    EXPECT_EQ(nullptr, variables.Lookup(text, 23)); // no closing sign
    CPathVariables::CVariable* variable = variables.Lookup(text, 1);
    ASSERT_NE(nullptr, variable);
    EXPECT_EQ(CString(L"%short%"), variable->first);

    // Only the form written at the position, compared with its letter case.
    CString edited(text);
    int skip = 0;
    EXPECT_TRUE(variables.ReplaceAt(edited, 1, *variable, skip));
    EXPECT_EQ(CString(L"xsy%Short%zs"), edited);
    EXPECT_EQ(1, skip);

    CString other(L"abc");
    EXPECT_FALSE(variables.ReplaceAt(other, 0, *variable, skip));
    EXPECT_EQ(CString(L"abc"), other);

    CPathVariables::SEntry custom;
    EXPECT_FALSE(variables.ResolveFolder(custom));
    CPathVariables::SEntry outside;
    outside.m_nFolder = 56;
    EXPECT_FALSE(variables.ResolveFolder(outside));
    CPathVariables::SEntry windows;
    windows.m_nFolder = 55;
    EXPECT_TRUE(variables.ResolveFolder(windows));
    EXPECT_EQ(Windows(), windows.m_strValue);
}

// A table whose shell answers as the test says, counting the questions.
class CScriptedFolders : public CPathVariables
{
public:
    int m_nQueries = 0;
    bool m_bAnswer = false;

protected:
    bool QueryFolder(int csidl, CString& path) override
    {
        ++m_nQueries;
        if (!m_bAnswer)
            return false;
        path.Format(L"X:\\folder%d", csidl);
        return true;
    }
};

TEST(PathVariables, FolderIsAskedUntilItResolvesThenKept)
{
    CScriptedFolders variables;
    CString text(L"%FOLDERID_Fonts%;%FOLDERID_Fonts%");
    EXPECT_FALSE(variables.Expand(text));
    EXPECT_FALSE(variables.Expand(text));
    EXPECT_EQ(CString(L"%FOLDERID_Fonts%;%FOLDERID_Fonts%"), text);
    EXPECT_EQ(4, variables.m_nQueries); // each place asks again while it fails

    variables.m_bAnswer = true;
    EXPECT_TRUE(variables.Expand(text));
    EXPECT_EQ(CString(L"X:\\folder20;X:\\folder20"), text);
    EXPECT_EQ(5, variables.m_nQueries);

    CString again(L"%FOLDERID_FONTS%");
    EXPECT_TRUE(variables.Expand(again));
    EXPECT_EQ(CString(L"X:\\folder20"), again);
    EXPECT_EQ(5, variables.m_nQueries);
}

TEST(PathVariables, PrivateTablesStartFromTheKnownFoldersAlone)
{
    CPathVariables& shared = GetPathVariables();
    EXPECT_EQ(&shared, &GetPathVariables());
    ASSERT_TRUE(shared.Define(L"%PathVariablesTestShared%", L"shared"));

    CPathVariables own;
    CString text(L"%PathVariablesTestShared%");
    EXPECT_FALSE(own.Expand(text));
    EXPECT_TRUE(own.Define(L"%PathVariablesTestOwn%", L"own"));
    CString sharedText(L"%PathVariablesTestOwn%|%PathVariablesTestShared%");
    EXPECT_TRUE(shared.Expand(sharedText));
    EXPECT_EQ(CString(L"%PathVariablesTestOwn%|shared"), sharedText);
}

const wchar_t kChildSwitch[] = L"SETUP_TEST_PATHVARIABLES_AFTER_EXIT";
const int kDeadReferenceExit = 42;

void UseTableAfterExit()
{
    try {
        GetPathVariables();
        _exit(1);
    } catch (const std::logic_error& error) {
        _exit(std::strcmp(error.what(), "Dead Reference Detected") == 0 ? kDeadReferenceExit : 2);
    } catch (...) {
        _exit(3);
    }
}

TEST(PathVariables, UseAfterExitRaisesDeadReference)
{
    if (GetEnvironmentVariableW(kChildSwitch, nullptr, 0) != 0) {
        // The child: the handler is registered before the table exists, so it runs
        // after the table's destruction.
        std::atexit(UseTableAfterExit);
        GetPathVariables();
        std::exit(0);
    }
    wchar_t self[MAX_PATH * 2] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH * 2), 0u);
    ASSERT_TRUE(SetEnvironmentVariableW(kChildSwitch, L"1"));
    TestSupport::SProcessOptions options;
    options.captureOutput = false;
    const TestSupport::SProcessRun run =
        TestSupport::RunProcess(self, {L"--gtest_filter=PathVariables.UseAfterExitRaisesDeadReference"}, options);
    SetEnvironmentVariableW(kChildSwitch, nullptr);
    ASSERT_TRUE(run.started);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(static_cast<DWORD>(kDeadReferenceExit), run.exitCode);
}

} // namespace
