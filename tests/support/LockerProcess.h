// Started programs that hold files open.
#pragma once

#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"

#include "common/tools/ScopedHandle.h"

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
        if (!CopyFileW(childprog.c_str(), m_strPath.c_str(), FALSE)) {
            m_strFailure = "copying the program failed with " + std::to_string(GetLastError());
            return;
        }
        // A start the platform loses now and then is tried once more; both reasons are kept.
        for (int attempt = 0; attempt < 2 && !m_bReady; ++attempt)
            m_bReady = Start(held, name, attempt);
    }
    ~CLockerProcess()
    {
        // End the process before its folder goes.
        for (CStartedProcess& process : m_processes)
            if (process.Handle() != nullptr && !process.WaitForEnd(0)) {
                TerminateProcess(process.Handle(), 1);
                process.WaitForEnd(5000);
            }
    }

    bool IsReady() const { return m_bReady; }
    // What went wrong on the way to ready (empty when the first start was ready).
    const std::string& Failure() const { return m_strFailure; }
    DWORD Id() const { return m_processes[m_live].Id(); }
    const std::wstring& Path() const { return m_strPath; }

private:
    bool Start(const std::wstring& held, const std::wstring& name, int attempt)
    {
        const std::wstring event =
            L"LockerReady" + std::to_wstring(GetCurrentProcessId()) + L"_" + name + L"_" + std::to_wstring(attempt);
        Common::Tools::CScopedHandle ready(CreateEventW(nullptr, TRUE, FALSE, event.c_str()));
        if (!ready.IsValid()) {
            m_strFailure += "creating the event failed with " + std::to_string(GetLastError()) + "; ";
            return false;
        }
        CStartedProcess& process = m_processes[attempt];
        if (!process.Start(m_strPath, {L"hold", held, event})) {
            m_strFailure += "starting the program failed with " + std::to_string(GetLastError()) + "; ";
            return false;
        }
        const HANDLE waits[] = {ready.Get(), process.Handle()};
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, 20000);
        if (woken == WAIT_OBJECT_0) {
            m_live = attempt;
            return true;
        }
        DWORD code = 0;
        if (woken == WAIT_OBJECT_0 + 1 && GetExitCodeProcess(process.Handle(), &code))
            m_strFailure += "the program ended with " + std::to_string(code) + " before it was ready; ";
        else
            m_strFailure += "the program was not ready in time (wait gave " + std::to_string(woken) + "); ";
        // It may still hold the file the next attempt opens.
        TerminateProcess(process.Handle(), 1);
        process.WaitForEnd(5000);
        return false;
    }

    CTempFolder m_folder;
    std::wstring m_strPath;
    CStartedProcess m_processes[2];
    int m_live = 0;
    bool m_bReady = false;
    std::string m_strFailure;
};

} // namespace TestSupport
