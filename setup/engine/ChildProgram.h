// Child programs: started, waited for, held, and extracted from setup's resources.
#pragma once

#include "common/tools/PathTools.h"
#include "common/tools/ScopedHandle.h"
#include "framework/WinString.h"

#include <windows.h>

namespace Common {
namespace Tools {
class CTempFiles;
}
}

// Child programs. INVALID_HANDLE_VALUE is the "no process" value that RunProcess
// hands out; it is also the pseudo-handle of the current process, so a holder
// must never wait on it or terminate it: CChildProcess checks for it.

// Starts the command line (program and arguments, the program quoted when it
// holds a space). With bWait, waits for the end and returns the exit code; with a
// window, the thread's messages are dispatched meanwhile so that windows stay
// responsive (a WM_QUIT that arrives is posted again after the wait). Without
// bWait, returns 0 and hands the process handle to *phProcess when given (the
// caller closes it), else closes it. *phProcess is INVALID_HANDLE_VALUE whenever
// no handle is handed out. Raises _com_error: E_FAIL when the program cannot be
// started; the Win32 error when the wait or the exit code fails.
int RunProcess(HANDLE* phProcess, HWND hWnd, const wchar_t* commandLine, bool bWait);

// The wait of RunProcess: until the process ends, dispatching the thread's
// messages when a window is given. Raises _com_error(E_HANDLE) for null or
// INVALID_HANDLE_VALUE (never a wait on setup itself) and the Win32 error when the
// wait fails.
void WaitForChildProcess(HANDLE hProcess, HWND hWnd);

// Owns a process handle received from RunProcess (Receive gives the out slot); an
// empty holder keeps INVALID_HANDLE_VALUE and never acts on it.
class CChildProcess : public Common::Tools::CScopedHandle
{
public:
    bool IsRunning() const;
    // Ends the child; false when none is held or it cannot be ended.
    bool Terminate(UINT nExitCode);
};

// Writes the RT_RCDATA resource of the module (null: setup itself) to the temporary
// file of that name in the set's folder, registered there for deletion, and returns
// its path, quoted when it holds a space. The written file stays held by the set
// (CTempFiles::HoldFile: nobody can write, replace or delete it, it can still be
// started) and, once held, is compared with the resource, so the program started
// from it is the one setup carries. The caller may release the hold
// (ReleaseFile of GetFilePath of the same name) once the child has started; else
// it ends with the set. Raises _com_error: E_FAIL when the resource is missing or
// empty or the file cannot be written, held or matched, the stream's error when
// no stream can be made over the resource.
CString ExtractExecutable(const wchar_t* fileName, UINT nResourceId, Common::Tools::CTempFiles& tempFiles,
                          HMODULE hModule = nullptr);
