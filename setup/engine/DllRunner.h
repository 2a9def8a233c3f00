// Runs callbridge, which calls an export of a 64-bit DLL for setup.
#pragma once

#include "common/tools/TempFiles.h"
#include "framework/WinString.h"

#include <windows.h>

// Runs callbridge, the 64-bit companion that calls an export of a 64-bit DLL. The
// program is written from setup's resources into a temporary folder of the runner
// on first use and reused while it is there; it goes with the runner.
class CDllRunner
{
public:
    CDllRunner() = default;
    ~CDllRunner();
    CDllRunner(const CDllRunner&) = delete;
    CDllRunner& operator=(const CDllRunner&) = delete;

    // Starts "callbridge <arguments>" and waits for it, dispatching the window's
    // messages meanwhile; returns its exit code (1 success, 0 failure). Raises
    // _com_error when callbridge cannot be written or started.
    int Run64(HWND parent, const wchar_t* arguments);

    // The module whose resources carry callbridge; null: setup itself (tests
    // give setup.exe loaded as data).
    HMODULE m_hResourceModule = nullptr;

    static const UINT kCallBridgeResource = 134;

private:
    Common::Tools::CTempFiles m_TempFiles;
    // Quoted when it holds a space; empty until the first call.
    CString m_strPath;
};
