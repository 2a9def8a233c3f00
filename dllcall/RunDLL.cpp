// One call of an export named on a command line.
#include "dllcall/RunDLL.h"

#include "dllcall/DllCaller.h"
#include "dllcall/DllLog.h"

#include <exception>
#include <string>

int CRunDLL::Run(const wchar_t* commandLine)
{
    try {
        const std::wstring text(commandLine != nullptr ? commandLine : L"");
        DllCall::LogRecord(4, "CRunDLL::Run", 15, text.c_str());
        m_Parser = Parser::CCmdLineParser();
        if (!m_Parser.ParseCmdLine(text.c_str()))
            return 0;

        DllCall::LogRecord(4, "CRunDLL::Run", 17, (L"Try load dll = \"" + m_Parser.m_strDllPath + L"\"  - ").c_str(),
                           false);
        CDllCaller caller(m_Parser.m_strDllPath.c_str());
        DllCall::LogRecord(4, "CRunDLL::Run", 19, caller.GetModule() != nullptr ? L"Succesful" : L"Fail");
        if (!caller.CallEntryPoint(m_Parser.m_strEntryPoint, m_Parser.m_Params))
            return 0;
        caller.Free();
        return 1;
    } catch (...) {
        // Whatever went wrong, the caller gets a failure, never an exception.
        return 0;
    }
}
