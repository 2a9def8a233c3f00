// The trace lines to the debugger output.
#pragma once

// Trace line to the debugger output, switched on by the DWORD "LogLevel" under
// HKLM "SOFTWARE\Quorvant\Setup" (read once per process, in the program's own
// registry view). Windows conversions: "%s" takes a wide string, "%S" a narrow one.
// Every line is prefixed "Setup: " and ends with a line feed.
void SetupTrace(const wchar_t* format, ...);

// Entry trace of a method: file name and qualified method name, both narrow.
#define SETUP_TRACE_ENTRY(file, method) SetupTrace(L"%S : %S >\n", file, method)

namespace Common {
namespace Tools {

// Forgets the level read from the registry, so that the next trace reads it again.
// Tests only: the running program reads the switch once.
void ResetSetupTraceLevel();

} // namespace Tools
} // namespace Common
