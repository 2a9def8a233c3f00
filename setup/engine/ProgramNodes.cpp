// Script nodes that act on the user's desktop: "Exec" starts a program,
// "Shorcut" writes a shell link, "ChangeStatus" sets the step caption and the
// taskbar state, "Question" and "MessageBox" ask and run the answer's script.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComSupport.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ChildProgram.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/InstallAbort.h"

#include <shlobj.h>
#include <shlwapi.h>


_COM_SMARTPTR_TYPEDEF(IShellLinkW, __uuidof(IShellLinkW));
_COM_SMARTPTR_TYPEDEF(IPersistFile, __uuidof(IPersistFile));

namespace {

using Common::Config::CXMLElement;

const wchar_t kParentWindowToken[] = L"%hParentWnd%";
using Common::Config::kInstallStepsPath;
const UINT kDefaultButtons = MB_ICONINFORMATION;

// The program part of a command line: quoted when it holds a blank. The command
// line has no separate program name, so a text that would let the system read
// another program out of it is refused: an empty name (the arguments' first word
// would be started), double quotes inside the name (the quoting would end early)
// and control characters (a tab splits the line like a blank). A name that the
// package already put between quotes is taken without them, so it is not quoted
// twice.
bool MakeProgramPart(CString& program)
{
    const int length = program.GetLength();
    if (length >= 2 && program[0] == L'"' && program[length - 1] == L'"')
        program = program.Mid(1, length - 2);
    if (program.IsEmpty() || program.Find(L'"') >= 0)
        return false;
    for (int i = 0; i < program.GetLength(); ++i) {
        if (program[i] < L' ')
            return false;
    }
    QuotePath(program);
    return true;
}

CString Text(const _bstr_t& text)
{
    const wchar_t* chars = static_cast<const wchar_t*>(text);
    return CString(chars != nullptr ? chars : L"");
}

// The script of each answer that has one.
const wchar_t* AnswerChildName(int answer)
{
    switch (answer) {
    case IDOK:
        return L"Ok";
    case IDCANCEL:
        return L"Cancel";
    case IDYES:
        return L"Yes";
    case IDNO:
        return L"No";
    default:
        return nullptr;
    }
}

} // namespace

HRESULT CreateShortcutLink(const wchar_t* target, const wchar_t* arguments, const wchar_t* description, int showMode,
                           const wchar_t* workingFolder, const wchar_t* iconFile, int iconIndex, const wchar_t* linkPath)
{
    if (target == nullptr || *target == L'\0' || linkPath == nullptr || *linkPath == L'\0' || showMode < 0 ||
        iconIndex < 0)
        return E_INVALIDARG;
    const CString link(linkPath);
    if (!IsFullPath(link)) {
        SetupTrace(L"Create shortcut: the link path is not a full path: '%s'", linkPath);
        return E_INVALIDARG;
    }
    // Saving over the target would replace the program with a link to itself.
    if (IsSamePath(CanonicalPath(link), CanonicalPath(target))) {
        SetupTrace(L"Create shortcut: the link path is the target itself: '%s'", linkPath);
        return E_INVALIDARG;
    }

    IShellLinkWPtr shellLink;
    HRESULT hr = shellLink.CreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER);
    if (FAILED(hr))
        return hr;
    // A link saved without its target, arguments or folder would start something
    // else than the package asked for: those setters must succeed.
    hr = shellLink->SetPath(target);
    if (FAILED(hr))
        return hr;
    hr = shellLink->SetArguments(arguments != nullptr ? arguments : L"");
    if (FAILED(hr))
        return hr;
    if (description != nullptr && *description != L'\0')
        shellLink->SetDescription(description);
    if (showMode >= 1)
        shellLink->SetShowCmd(showMode);
    if (workingFolder != nullptr && *workingFolder != L'\0') {
        hr = shellLink->SetWorkingDirectory(workingFolder);
        if (FAILED(hr))
            return hr;
    }
    if (iconFile != nullptr && *iconFile != L'\0')
        shellLink->SetIconLocation(iconFile, iconIndex);

    IPersistFilePtr file;
    hr = shellLink.QueryInterface(__uuidof(IPersistFile), &file);
    if (FAILED(hr))
        return hr;

    CString folder(link);
    if (RemovePathFileSpec(folder) && !folder.IsEmpty() && !PathIsDirectoryW(folder))
        SHCreateDirectory(nullptr, folder);
    return file->Save(linkPath, TRUE);
}

void CInstallManager::Exec(const Common::Config::CXMLElement& node)
{
    // Asked again with the flag: without a condition it does not run in a
    // reconfiguration.
    if (!CheckCondition(node, true))
        return;

    const bool noWait = GetNodeBool(node, L"NoWait", false);
    const CString named = GetNodeAttribute(node, L"FileName", L"");
    CString program = named;
    const bool valid = MakeProgramPart(program);
    if (!valid)
        program = named;
    CString arguments = GetNodeAttribute(node, L"CmdLineArguments", L"");
    CString window;
    window.Format(L"%u", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(MainWindowHandle())));
    arguments.Replace(kParentWindowToken, window);
    const CString commandLine = program + L" " + arguments;

    bool started = false;
    int exitCode = 0;
    if (valid) {
        try {
            exitCode = RunProcess(nullptr, MainWindowHandle(), commandLine, !noWait);
            started = true;
        } catch (const _com_error&) {
            // Traced below; the script goes on.
        }
    } else {
        SetupTrace(L"Exec: not a program to start: '%s'", named.GetString());
    }
    SetupTrace(L"Run executable: %s, %s, '%s'", noWait ? L"No wait" : L"Wait", SucceededText(started).GetString(),
               commandLine.GetString());
    if (started && !noWait)
        SetupTrace(L"Exit code: %d", exitCode);
}

void CInstallManager::CreateShortcut(const Common::Config::CXMLElement& node)
{
    try {
        const CString target = GetNodeAttribute(node, L"TargetFileName", L"");
        CString workingFolder = GetNodeAttribute(node, L"AppDir", L"");
        if (workingFolder.IsEmpty()) {
            workingFolder = target;
            if (!RemovePathFileSpec(workingFolder))
                workingFolder.Empty();
        }
        const long showMode = GetNodeLong(node, L"ShowMode", 1);
        const CString link = GetNodeAttribute(node, L"LinkFilePath", L"");
        const CString arguments = GetNodeAttribute(node, L"CmdLineArguments", L"");
        const CString description = GetRawAttribute(node, L"Description");
        const long iconIndex = GetNodeLong(node, L"IconIndex", 0);
        CString iconFile = GetNodeAttribute(node, L"IconFile", L"");
        if (iconFile.IsEmpty())
            iconFile = target;

        const HRESULT hr = CreateShortcutLink(target, arguments, description, showMode, workingFolder, iconFile,
                                              iconIndex, link);
        SetupTrace(L"Create shortcut: %s, at '%s'", SucceededText(SUCCEEDED(hr)).GetString(), link.GetString());
    } catch (const _com_error&) {
        // A shortcut never stops the script.
    }
}

void CInstallManager::ChangeStatus(const Common::Config::CXMLElement& node)
{
    const CString tag = GetRawAttribute(node, L"MessageTag");
    // Without a tag the path would end in "/", which is no query: the caption
    // is cleared, as for a step without a caption.
    if (tag.IsEmpty())
        SetStepCaption(nullptr);
    else
        SetStepCaption(CString(kInstallStepsPath) + tag);
    if (HasAttribute(node, L"ProgressState"))
        m_TaskbarProgress.SetState(GetNodeLong(node, L"ProgressState", 0));
}

void CInstallManager::ShowMessageNode(const Common::Config::CXMLElement& node)
{
    int answer = 0;
    try {
        const CString text = GetNodeAttribute(node, L"Caption", L"");
        const UINT buttons = node.GetHex(L"Buttons", kDefaultButtons);
        answer = ShowMessageText(MainWindowHandle(), text, buttons);
    } catch (const _com_error&) {
        return;
    }
    if (answer == 0)
        SetupTrace(L"Message box could not be shown: %s", Text(node.GetXML()).GetString());

    const wchar_t* childName = AnswerChildName(answer);
    if (childName == nullptr)
        return;
    bool abort = false;
    try {
        const CXMLElement child = node.GetElement(childName);
        abort = GetNodeBool(child, L"Abort", false);
        RunScript(child.SelectNodes(L"/*"), false);
    } catch (const _com_error& e) {
        // No script for this answer, or it failed: the node ends here; an abort
        // that was asked for still ends the run. Only a runaway nesting goes on up.
        if (e.Error() == kScriptTooDeep)
            throw;
    }
    if (abort)
        throw CInstallAbort();
}
