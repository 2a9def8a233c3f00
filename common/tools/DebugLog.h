// The process-wide debug log of the DLL calls and the configuration's start.
#pragma once

#include "common/tools/CriticalSection.h"

#include <string>

// Process-wide record stream of the DLL-call library and the configuration's start,
// written to the debugger output. A record is emitted by EndRecord when its message
// level is at most the threshold, the DWORD "LogLevel" under HKLM
// "SOFTWARE\Quorvant\Velmora" (0 when missing). Callers use level 3 for the first
// record of an operation and 4 for details.
class CDebugLog
{
public:
    // Holds one level of the log's lock; the holders of one statement release it
    // when the statement ends, so a record written in one statement is never
    // interleaved with another thread's.
    class CLockHolder
    {
    public:
        explicit CLockHolder(CDebugLog& log);
        CLockHolder(const CLockHolder& other);
        CLockHolder& operator=(const CLockHolder&) = delete;
        ~CLockHolder();

        CLockHolder Timestamp() const { return m_pLog->Timestamp(); }
        CLockHolder Write(const wchar_t* text) const { return m_pLog->Write(text); }
        CLockHolder Write(const char* text) const { return m_pLog->Write(text); }
        CLockHolder Write(int number) const { return m_pLog->Write(number); }
        CLockHolder WriteSeparator() const { return m_pLog->WriteSeparator(); }
        void EndRecord() const { m_pLog->EndRecord(); }

    private:
        CDebugLog* m_pLog;
    };

    // Reads the threshold from the registry; raises _com_error when the lock cannot be made.
    CDebugLog();
    CDebugLog(const CDebugLog&) = delete;
    CDebugLog& operator=(const CDebugLog&) = delete;

    // The one log of the process, built on first use and never destroyed.
    static CDebugLog& Instance();

    CLockHolder Begin();                  // "["
    CLockHolder Timestamp();              // "MM/DD/YY-HH:MM:SS", local time
    CLockHolder Write(const wchar_t* text);
    CLockHolder Write(const char* text);  // widened character by character
    CLockHolder Write(int number);        // decimal
    CLockHolder WriteSeparator();         // ") - "
    // Emits the buffer (and then a separate "\n") when the message level is at most
    // the threshold; empties it either way.
    void EndRecord();

    // One whole record: "[" date "-" time "] " function "(" line ") - " text, or
    // without ") - " text but with ")" when text is null.
    void WriteRecord(int level, const char* function, int line, const wchar_t* text);

    int GetThreshold() const { return m_nThreshold; }

    // The level of the record being composed; set by the caller before each record.
    int m_nMessageLevel = 0;

private:
    int m_nThreshold = 0;
    // A plain string rather than a stream: streams bring the locale machinery,
    // which would make every program that logs several hundred kilobytes larger.
    std::wstring m_buffer;
    Common::Tools::CCriticalSection m_lock;
};

#define DEBUG_LOG_RECORD(level, function, text) \
    CDebugLog::Instance().WriteRecord((level), (function), __LINE__, (text))
