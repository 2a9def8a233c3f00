// The parsed command line of setup.
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/GuidName.h"


#include <stdlib.h>
#include <wchar.h>

void CCmdLineHelper::ParseParam(int i)
{
    ParseParam(i, __argc, __wargv);
}

void CCmdLineHelper::ParseParam(int i, int argc, const wchar_t* const* argv)
{
    if (argv == nullptr || i < 0 || i >= argc || argv[i] == nullptr)
        return;
    const wchar_t* argument = argv[i];
    const wchar_t* next = (i + 1 < argc) ? argv[i + 1] : nullptr;

    if (_wcsicmp(argument, L"/i") == 0) {
        m_nAction = ActionInstall;
        if (next != nullptr)
            m_strParam = next;
    } else if (_wcsicmp(argument, L"/qn") == 0) {
        m_bQuiet = true;
        if (argc == 2)
            m_nAction = ActionInstall;
    } else if (_wcsicmp(argument, L"/norestart") == 0) {
        m_nRestartMode = RestartNever;
    } else if (_wcsicmp(argument, L"/forcerestart") == 0) {
        m_nRestartMode = RestartForce;
    } else if (_wcsicmp(argument, L"/p") == 0) {
        m_bRegisterProduct = false;
    } else if (_wcsicmp(argument, L"/config") == 0) {
        m_nAction = ActionConfig;
        if (next != nullptr)
            m_strParam = next;
    } else {
        CString text(argument);
        text.MakeUpper();
        if (text.Find(L"/X") == 0 || text.Find(L"/UNINSTALL") == 0) {
            text.Replace(L"/X", L"");
            text.Replace(L"/UNINSTALL", L"");
            if (IsGuidName(text)) {
                m_nAction = ActionUninstall;
                m_strProductCode = text;
            }
        }
    }
}
