// Runs a program and collects its exit code and output.
#include "tests/support/ProcessRunner.h"

#include "tests/support/DebugOutputCapture.h"

#include <memory>

namespace TestSupport {

std::wstring QuoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    std::wstring quoted(L"\"");
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring JoinCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments)
{
    std::wstring line = QuoteArgument(program);
    for (const std::wstring& argument : arguments) {
        line += L' ';
        line += QuoteArgument(argument);
    }
    return line;
}

std::wstring ModuleFolder()
{
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring folder(path, length);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

std::vector<std::string> SProcessRun::TraceLines() const
{
    return SetupTraceLines(messages);
}

SProcessRun RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                       const SProcessOptions& options)
{
    SProcessRun run;
    std::unique_ptr<CDebugOutputCapture> capture;
    if (options.captureOutput) {
        // Filtering on an id that no process has until ours is known.
        capture.reset(new CDebugOutputCapture(0xFFFFFFFF));
        if (!capture->IsListening())
            return run;
        capture->SetMessageHook(options.onMessage);
    }

    std::wstring commandLine = JoinCommandLine(program, arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        options.workingFolder.empty() ? nullptr : options.workingFolder.c_str(), &startup,
                        &process))
        return run;
    run.started = true;
    run.processId = process.dwProcessId;
    if (capture)
        capture->SetProcessFilter(process.dwProcessId);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);

    const DWORD start = GetTickCount();
    for (;;) {
        if (WaitForSingleObject(process.hProcess, 50) == WAIT_OBJECT_0) {
            run.finished = true;
            break;
        }
        if (GetTickCount() - start > options.timeoutMs) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, 5000);
            break;
        }
        if (options.onPoll)
            options.onPoll(process.dwProcessId);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    if (capture)
        run.messages = capture->Stop();
    return run;
}

} // namespace TestSupport
