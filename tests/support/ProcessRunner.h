// Runs a program and collects its exit code and output.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace TestSupport {

// Quotes one argument so that the C runtime splits it back to the same text.
std::wstring QuoteArgument(const std::wstring& argument);
std::wstring JoinCommandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);

// The folder of the running test program, with a trailing backslash.
std::wstring ModuleFolder();

struct SProcessRun
{
    bool started = false;
    bool finished = false;         // false: killed after the time-out
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::vector<std::string> messages;  // its debugger output, one entry per call
    std::vector<std::string> TraceLines() const;
};

struct SProcessOptions
{
    DWORD timeoutMs = 60000;
    std::wstring workingFolder;     // empty: the current one
    bool captureOutput = true;
    // Called about every 50 ms while the process runs, with its id (to answer its
    // message boxes, for example).
    std::function<void(DWORD processId)> onPoll;
    // Called with each debugger message before the program may go on (see
    // CDebugOutputCapture::SetMessageHook).
    std::function<void(const std::string& message)> onMessage;
};

// Starts a program, collects its debugger output and waits for its end.
SProcessRun RunProcess(const std::wstring& program, const std::vector<std::wstring>& arguments,
                       const SProcessOptions& options = SProcessOptions());

} // namespace TestSupport
