// The runner of callbridge, and the "RunDll" script node that calls a DLL in
// process and, for the 64-bit one, through that runner.
#include "setup/engine/DllRunner.h"

#include "common/config/XMLElement.h"
#include "common/tools/PathTools.h"
#include "common/tools/SetupTrace.h"
#include "common/win32/Wow64.h"
#include "dllcall/RunDLL.h"
#include "setup/engine/ChildProgram.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/InstallManager.h"
#include "setup/engine/VariableExpansion.h"

#include <shlwapi.h>

CDllRunner::~CDllRunner()
{
    m_strPath.Empty();
}

int CDllRunner::Run64(HWND parent, const wchar_t* arguments)
{
    SETUP_TRACE_ENTRY("DllRunner", "CDllRunner::Run64");
    CString bare(m_strPath);
    bare.Remove(L'"');
    if (bare.IsEmpty() || !PathFileExistsW(bare))
        m_strPath = ExtractExecutable(L"callbridge.exe", kCallBridgeResource, m_TempFiles, m_hResourceModule);

    CString commandLine;
    commandLine.Format(L"%s %s", m_strPath.GetString(), arguments != nullptr ? arguments : L"");
    return RunProcess(nullptr, parent, commandLine, true);
}

namespace {

const wchar_t kDllToken[] = L"%DLL%";

// The pattern with every "%DLL%" replaced by the DLL (quoted when it holds a
// space) and the entry point, then its path variables expanded.
CString DllCommandLine(const CString& pattern, const CString& dll, const CString& entryPoint)
{
    CString quoted(dll);
    QuotePath(quoted);
    CString target;
    target.Format(L"%s %s", quoted.GetString(), entryPoint.GetString());
    CString commandLine(pattern);
    commandLine.Replace(kDllToken, target);
    ExpandVariables(commandLine);
    return commandLine;
}

const wchar_t* RegistrationText(bool succeeded)
{
    return succeeded ? L"succeeded" : L"failed";
}

} // namespace

bool CInstallManager::RunDll(const Common::Config::CXMLElement& node)
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::RunDll");
    if (!CheckCondition(node, true))
        return true;

    bool result = false;
    try {
        const CString pattern = GetRawAttribute(node, L"CmdLine");
        const CString file32 = GetNodeAttribute(node, L"FileName", L"");
        const CString file64 = GetNodeAttribute(node, L"FileName64", L"");
        const CString entryPoint = GetNodeAttribute(node, L"EntryPoint", L"Setup");
        SetupTrace(L"CmdLine pattern: %s, file32: %s, file64: %s, EntryPoint: %s", pattern.GetString(),
                   file32.GetString(), file64.GetString(), entryPoint.GetString());

        // Without a file name (blanks are none) the entry point would be taken for
        // the DLL and searched for from setup's own folder: a failed call, nothing
        // is loaded.
        CString name32(file32);
        name32.Trim();
        if (!name32.IsEmpty()) {
            CRunDLL run;
            result = run.Run(DllCommandLine(pattern, file32, entryPoint)) > 0;
        }
        SetupTrace(L"32-bit component registration %s", RegistrationText(result));

        if (Common::Win32::IsWow64() && !file64.IsEmpty() && PathFileExistsW(file64)) {
            const int exitCode = m_DllRunner.Run64(MainWindowHandle(), DllCommandLine(pattern, file64, entryPoint));
            result = result && exitCode > 0;
            SetupTrace(L"64-bit component registration %s", RegistrationText(result));
        }
    } catch (const _com_error&) {
        result = false;
        SetupTrace(L"Unexpected error during component registration");
    }

    const CString condition = GetRawAttribute(node, L"condition");
    if (!condition.IsEmpty())
        m_SetupOptions.SetCondition(condition, result);
    return result;
}
