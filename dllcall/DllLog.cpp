// Records of the DLL-call library in the debug log.
#include "dllcall/DllLog.h"

#include "common/tools/DebugLog.h"

namespace DllCall {

void LogRecord(int level, const char* function, int line, const wchar_t* text, bool bEnd)
{
    CDebugLog& log = CDebugLog::Instance();
    log.m_nMessageLevel = level;
    if (text != nullptr)
        log.Begin().Timestamp().Write(L"] ").Write(function).Write(L"(").Write(line).WriteSeparator().Write(text);
    else
        log.Begin().Timestamp().Write(L"] ").Write(function).Write(L"(").Write(line).Write(L")");
    if (bEnd)
        log.EndRecord();
}

} // namespace DllCall
