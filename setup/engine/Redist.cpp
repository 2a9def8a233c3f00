// Redistributable components: asks the Windows Installer which of the listed
// products are missing and runs their installers, carried beside setup.
#include "common/config/DocumentPaths.h"
#include "common/tools/PathTools.h"
#include "setup/engine/ChildProgram.h"
#include "setup/engine/InstallManager.h"
#include "setup/engine/Redist.h"

#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/SetupTrace.h"
#include "framework/Gdi.h"
#include "setup/engine/ConfigTools.h"

#include <shlwapi.h>

#include <comdef.h>

#include <vector>

// msi.dll's MsiQueryProductStateW, imported by ordinal 113 (see msi_ordinal.def).
extern "C" int WINAPI QueryProductStateByOrdinal(const wchar_t* productCode);

namespace {

const wchar_t kRedistPath[] = L"//Interface/Redist";
// INSTALLSTATE_DEFAULT: the product is installed for this machine or user.
const int kProductInstalled = 5;

struct SRedistEntry
{
    CString caption;
    CString commandLine;
};

// Setup's own folder: the configuration object's, else the program's.
CString SetupFolder()
{
    CString folder = Common::Config::GetSetupConfig().GetModuleFolder();
    if (folder.IsEmpty()) {
        folder = GetModulePath();
        if (!RemovePathFileSpec(folder))
            folder.Empty();
    }
    return folder;
}

} // namespace

// The program part is quoted, so that a folder with blanks cannot start another
// program ("C:\Program.exe") in its place.
CString RedistCommandLine(const CString& folder, const CString& commandLine)
{
    CString text(commandLine);
    text.Trim();
    CString program;
    CString arguments;
    if (!text.IsEmpty() && text[0] == L'"') {
        const int close = text.Find(L'"', 1);
        program = close < 0 ? text.Mid(1) : text.Mid(1, close - 1);
        arguments = close < 0 ? CString() : text.Mid(close + 1);
    } else {
        const int blank = text.Find(L' ');
        program = blank < 0 ? text : text.Left(blank);
        arguments = blank < 0 ? CString() : text.Mid(blank);
    }
    arguments.TrimLeft();

    wchar_t path[MAX_PATH] = {};
    if (folder.GetLength() >= MAX_PATH || program.GetLength() >= MAX_PATH)
        Common::Tools::ThrowComError(E_INVALIDARG);
    wcscpy_s(path, folder.GetString());
    if (!::PathAppendW(path, program))
        Common::Tools::ThrowComError(E_INVALIDARG);
    CString result(path);
    if (result.Find(L' ') >= 0)
        result = L"\"" + result + L"\"";
    if (!arguments.IsEmpty())
        result += L" " + arguments;
    return result;
}

bool CInstallManager::CheckRedist()
{
    if (m_bRedistChecked || !NodeExists(kRedistPath))
        return true;

    SetupTrace(L"Check for Microsoft Visual C++ Redistributable Package");
    CWaitCursor wait;
    bool result = false;
    try {
        Common::Config::CXMLElement redist;
        m_pSettings->GetElement(kRedistPath, redist);
        std::vector<SRedistEntry> missing;
        const Common::Config::CXMLNodeList entries = redist.SelectNodes(L"/*");
        for (auto entry = entries.Begin(); entry != entries.End(); ++entry) {
            if (!entry.IsElement())
                continue;
            const Common::Config::CXMLElement node = *entry;
            if (HasAttribute(node, L"x64") && !(m_bIs64BitOS && VariantToBool(node.GetAttribute(L"x64", _variant_t()))))
                continue;
            const CString id = GetNodeAttribute(node, L"ID", L"0");
            const CString caption = GetNodeAttribute(node, L"Caption", L"0");
            const int state = m_Seams.productState ? m_Seams.productState(id) : QueryProductStateByOrdinal(id);
            const bool installed = state == kProductInstalled;
            if (!installed)
                missing.push_back({caption, GetNodeAttribute(node, L"CmdLine", L"0")});
            SetupTrace(L"'%s (%s)' - %s", caption.GetString(), id.GetString(), installed ? L"Installed" : L"Missing");
        }

        if (!missing.empty()) {
            CString names;
            if (missing.size() == 1) {
                names = missing.front().caption;
            } else {
                for (const SRedistEntry& entry : missing)
                    names += L"\n" + entry.caption;
            }
            if (ShowMessageByIdWith(MainWindowHandle(), L"RedistInstall", L"%REDISTNAME%", names,
                                    MB_YESNO | MB_ICONQUESTION) != IDYES)
                Common::Tools::ThrowComError(E_FAIL);
            for (const SRedistEntry& entry : missing) {
                if (!InstallRedist(entry.commandLine, entry.caption))
                    Common::Tools::ThrowComError(E_FAIL);
            }
        }
        m_bRedistChecked = true;
        result = true;
    } catch (const _com_error&) {
        SetupTrace(L"Some problems during redist installation.");
    }
    SetStepCaption(nullptr);
    return result;
}

bool CInstallManager::InstallRedist(const CString& commandLine, const CString& caption)
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::InstallRedist");
    SetStepCaption(Common::Config::kStepSystemComponentsPath);
    m_TaskbarProgress.SetState(UI::CTaskbarProgress::kIndeterminate);

    bool succeeded = false;
    try {
        const CString path = RedistCommandLine(SetupFolder(), commandLine);
        succeeded = RunProcess(nullptr, MainWindowHandle(), path, true) == 0;
    } catch (const _com_error&) {
        succeeded = false;
    }
    if (!succeeded)
        ShowMessageByIdWith(MainWindowHandle(), L"RedistNotFound", L"%REDISTNAME%", caption, MB_ICONERROR);
    SetupTrace(L"Installing '%s'(%s) - %s", caption.GetString(), commandLine.GetString(),
               succeeded ? L"OK" : L"Failed");
    m_TaskbarProgress.SetState(UI::CTaskbarProgress::kNoProgress);
    return succeeded;
}
