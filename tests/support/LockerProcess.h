// Started programs that hold files open.
#pragma once

#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"

#include <windows.h>

#include <string>

namespace TestSupport {

// A started program, ended by its handle (if still running) when the object goes.
class CStartedProcess
{
public:
    CStartedProcess() = default;
    ~CStartedProcess()
    {
        if (m_info.hProcess != nullptr) {
            if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(m_info.hProcess, 1);
                WaitForSingleObject(m_info.hProcess, 5000);
            }
            CloseHandle(m_info.hProcess);
            CloseHandle(m_info.hThread);
        }
    }
    CStartedProcess(const CStartedProcess&) = delete;
    CStartedProcess& operator=(const CStartedProcess&) = delete;

    // flags: CreateProcess's creation flags (CREATE_SUSPENDED: the id is known before
    // the program runs; Resume lets it go).
    bool Start(const std::wstring& program, const std::vector<std::wstring>& arguments, DWORD flags = 0)
    {
        std::wstring line = JoinCommandLine(program, arguments);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        return CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                              &m_info) != FALSE;
    }
    bool Resume() const { return m_info.hThread != nullptr && ResumeThread(m_info.hThread) != static_cast<DWORD>(-1); }
    HANDLE Handle() const { return m_info.hProcess; }
    DWORD Id() const { return m_info.dwProcessId; }
    // True when the process ended within the time; its exit code then goes to *code.
    bool WaitForEnd(DWORD timeoutMs, DWORD* code = nullptr) const
    {
        if (m_info.hProcess == nullptr || WaitForSingleObject(m_info.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return false;
        if (code != nullptr)
            GetExitCodeProcess(m_info.hProcess, code);
        return true;
    }

private:
    PROCESS_INFORMATION m_info = {};
};

// A copy of childprog under a name of its own, running and holding a file open until
// the object goes: its executable path is unique to the test.
class CLockerProcess
{
public:
    // childprog: the program to copy; name: the copy's file name in the temp folder.
    CLockerProcess(const std::wstring& childprog, const std::wstring& name)
        : m_strPath(m_folder / name)
    {
        const std::wstring held = m_folder / L"held.dat";
        WriteFileBytes(held, Bytes{'x'});
        if (!CopyFileW(childprog.c_str(), m_strPath.c_str(), FALSE))
            return;
        const std::wstring event = L"LockerReady" + std::to_wstring(GetCurrentProcessId()) + L"_" + name;
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
        if (ready == nullptr)
            return;
        if (m_process.Start(m_strPath, {L"hold", held, event}))
            m_bReady = WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0;
        CloseHandle(ready);
    }
    ~CLockerProcess()
    {
        // End the process before its folder goes.
        if (m_process.Handle() != nullptr && !m_process.WaitForEnd(0)) {
            TerminateProcess(m_process.Handle(), 1);
            m_process.WaitForEnd(5000);
        }
    }

    bool IsReady() const { return m_bReady; }
    DWORD Id() const { return m_process.Id(); }
    const std::wstring& Path() const { return m_strPath; }

private:
    CTempFolder m_folder;
    std::wstring m_strPath;
    CStartedProcess m_process;
    bool m_bReady = false;
};

} // namespace TestSupport
