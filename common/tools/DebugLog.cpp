// The process-wide debug log of the DLL calls and the configuration's start.
#include "common/tools/DebugLog.h"

#include "common/tools/LogSwitch.h"

#include <loki/Singleton.h>

#include <windows.h>

#include <cwchar>

namespace {

typedef Loki::SingletonHolder<CDebugLog, Loki::CreateUsingNew, Loki::NoDestroy> DebugLogHolder;

} // namespace

CDebugLog::CLockHolder::CLockHolder(CDebugLog& log) : m_pLog(&log)
{
    m_pLog->m_lock.Enter();
}

CDebugLog::CLockHolder::CLockHolder(const CLockHolder& other) : m_pLog(other.m_pLog)
{
    m_pLog->m_lock.Enter();
}

CDebugLog::CLockHolder::~CLockHolder()
{
    m_pLog->m_lock.Leave();
}

CDebugLog::CDebugLog()
{
    m_nThreshold = Common::Tools::ReadLogSwitch(L"SOFTWARE\\Quorvant\\Velmora");
}

CDebugLog& CDebugLog::Instance()
{
    return DebugLogHolder::Instance();
}

CDebugLog::CLockHolder CDebugLog::Begin()
{
    CLockHolder holder(*this);
    m_buffer += L'[';
    return holder;
}

CDebugLog::CLockHolder CDebugLog::Timestamp()
{
    CLockHolder holder(*this);
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[32];
    _snwprintf(text, sizeof(text) / sizeof(text[0]), L"%02u/%02u/%02u-%02u:%02u:%02u", now.wMonth, now.wDay,
               now.wYear % 100u, now.wHour, now.wMinute, now.wSecond);
    text[31] = L'\0';
    m_buffer += text;
    return holder;
}

CDebugLog::CLockHolder CDebugLog::Write(const wchar_t* text)
{
    CLockHolder holder(*this);
    if (text != nullptr)
        m_buffer += text;
    return holder;
}

CDebugLog::CLockHolder CDebugLog::Write(const char* text)
{
    CLockHolder holder(*this);
    for (const char* p = text; p != nullptr && *p != '\0'; ++p)
        m_buffer += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return holder;
}

CDebugLog::CLockHolder CDebugLog::Write(int number)
{
    CLockHolder holder(*this);
    m_buffer += std::to_wstring(number);
    return holder;
}

CDebugLog::CLockHolder CDebugLog::WriteSeparator()
{
    CLockHolder holder(*this);
    m_buffer += L") - ";
    return holder;
}

void CDebugLog::EndRecord()
{
    Common::Tools::ScopedLock lock(m_lock);
    if (m_nMessageLevel <= m_nThreshold) {
        OutputDebugStringW(m_buffer.c_str());
        OutputDebugStringW(L"\n");
    }
    m_buffer.clear();
}

void CDebugLog::WriteRecord(int level, const char* function, int line, const wchar_t* text)
{
    Common::Tools::ScopedLock lock(m_lock);
    m_nMessageLevel = level;
    Begin().Timestamp().Write(L"] ").Write(function).Write(L"(").Write(line);
    if (text != nullptr)
        WriteSeparator().Write(text);
    else
        Write(L")");
    EndRecord();
}
