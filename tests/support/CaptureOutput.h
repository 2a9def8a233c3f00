// Captures the test program's own debugger output.
#pragma once

#include "tests/support/DebugOutputCapture.h"

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

} // namespace TestSupport
