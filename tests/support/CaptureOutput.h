// Captures the test program's own debugger output and its trace lines.
#pragma once

#include "common/tools/SetupTrace.h"
#include "tests/support/DebugOutputCapture.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace TestSupport {

// The debugger output that the test program itself writes while 'body' runs.
inline std::vector<std::string> CaptureOwnOutput(const std::function<void()>& body)
{
    CDebugOutputCapture capture(GetCurrentProcessId());
    if (!capture.IsListening())
        ADD_FAILURE() << "another debug monitor holds the output buffer";
    body();
    return capture.Stop();
}

// The trace lines written while the body runs (each without its line feed), with
// tracing switched on for the time of the body; 'output' gets every message of
// the program's debugger output meanwhile.
inline std::vector<std::string> TraceOf(const std::function<void()>& body, std::vector<std::string>& output)
{
    CRegistryValueScope level =
        CRegistryValueScope::Dword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", OwnRegistryView(), 1);
    Common::Tools::ResetSetupTraceLevel();
    output = CaptureOwnOutput(body);
    Common::Tools::ResetSetupTraceLevel();
    return SetupTraceLines(output);
}

inline std::vector<std::string> TraceOf(const std::function<void()>& body)
{
    std::vector<std::string> output;
    return TraceOf(body, output);
}

} // namespace TestSupport
