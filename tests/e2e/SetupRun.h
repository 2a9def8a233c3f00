// Runs the built setup.exe for the end-to-end tests.
#pragma once

#include "tests/support/ProcessRunner.h"
#include "tests/support/RegistryScope.h"

#include <string>
#include <vector>

namespace E2E {

// setup.exe of the build, beside the test program.
inline std::wstring SetupExe()
{
    return TestSupport::ModuleFolder() + L"setup.exe";
}

// Switches setup's trace on (or off with 0) in the registry view setup reads.
inline bool SetSetupTraceLevel(DWORD level)
{
    return TestSupport::SetRegistryDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel",
                                         KEY_WOW64_32KEY, level);
}

inline TestSupport::SProcessRun RunSetup(const std::vector<std::wstring>& arguments,
                                         const TestSupport::SProcessOptions& options = TestSupport::SProcessOptions())
{
    return TestSupport::RunProcess(SetupExe(), arguments, options);
}

} // namespace E2E
