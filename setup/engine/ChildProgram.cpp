// Child programs: started, waited for, held, and extracted from setup's resources.
#include "setup/engine/ChildProgram.h"

#include "common/tools/ComError.h"
#include "common/tools/PathTools.h"
#include "common/tools/ResourceCache.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "common/tools/TempFiles.h"
#include "common/tools/FileTools.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// True when the file holds exactly the bytes.
bool FileHolds(const wchar_t* path, const BYTE* data, SIZE_T size)
{
    Common::Tools::CScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &length) || static_cast<ULONGLONG>(length.QuadPart) != size)
        return false;
    const DWORD kChunk = 0x10000;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kChunk]);
    if (!buffer)
        return false;
    SIZE_T done = 0;
    while (done < size) {
        const DWORD wanted = static_cast<DWORD>(std::min<SIZE_T>(kChunk, size - done));
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer.get(), wanted, &read, nullptr) || read != wanted ||
            !std::equal(buffer.get(), buffer.get() + read, data + done))
            return false;
        done += read;
    }
    return true;
}

} // namespace

int RunProcess(HANDLE* phProcess, HWND hWnd, const wchar_t* commandLine, bool bWait)
{
    if (phProcess != nullptr)
        *phProcess = INVALID_HANDLE_VALUE;

    // CreateProcessW may write into the command line.
    const std::wstring text(commandLine != nullptr ? commandLine : L"");
    std::vector<wchar_t> line(text.begin(), text.end());
    line.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE | NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &started))
        Common::Tools::ThrowComError(E_FAIL);
    Common::Tools::CScopedHandle thread(started.hThread);
    Common::Tools::CScopedHandle process(started.hProcess);

    if (!bWait) {
        if (phProcess != nullptr)
            *phProcess = process.Release();
        return 0;
    }
    WaitForChildProcess(process.Get(), hWnd);
    DWORD exitCode = 0;
    Common::Tools::ThrowLastErrorIf(!GetExitCodeProcess(process.Get(), &exitCode));
    return static_cast<int>(exitCode);
}

void WaitForChildProcess(HANDLE hProcess, HWND hWnd)
{
    // INVALID_HANDLE_VALUE would be a wait on setup itself, for ever.
    if (hProcess == nullptr || hProcess == INVALID_HANDLE_VALUE)
        Common::Tools::ThrowComError(E_HANDLE);
    if (hWnd == nullptr) {
        Common::Tools::ThrowLastErrorIf(WaitForSingleObject(hProcess, INFINITE) == WAIT_FAILED);
        return;
    }

    bool bQuit = false;
    WPARAM quitCode = 0;
    HRESULT failure = S_OK;
    for (;;) {
        // MWMO_INPUTAVAILABLE: messages already in the queue wake the wait too,
        // not only those that arrived since the queue was last looked at.
        const DWORD woken = MsgWaitForMultipleObjectsEx(1, &hProcess, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_FAILED) {
            failure = Common::Tools::LastErrorResult();
            break;
        }
        if (woken != WAIT_OBJECT_0 + 1)
            break;
        // Everything queued, so that nothing waits for the next input to arrive.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // The loop that owns the thread must still see it.
                bQuit = true;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (bQuit)
        PostQuitMessage(static_cast<int>(quitCode));
    if (FAILED(failure))
        Common::Tools::ThrowComError(failure);
}

bool CChildProcess::IsRunning() const
{
    return IsValid() && WaitForSingleObject(Get(), 0) == WAIT_TIMEOUT;
}

bool CChildProcess::Terminate(UINT nExitCode)
{
    return IsValid() && TerminateProcess(Get(), nExitCode) != FALSE;
}

CString ExtractExecutable(const wchar_t* fileName, UINT nResourceId, Common::Tools::CTempFiles& tempFiles,
                          HMODULE hModule)
{
    SETUP_TRACE_ENTRY("tools", "ExtractExecutable");
    const CString name(fileName != nullptr ? fileName : L"");
    const CString path = tempFiles.GetFilePath(name);
    // A copy held from an earlier extraction would keep the new one from being written.
    tempFiles.ReleaseFile(path);

    Common::Tools::CResourceCache cache;
    HGLOBAL block = Common::Tools::LoadResourceToGlobal(cache, hModule, nResourceId);
    if (block == nullptr)
        Common::Tools::ThrowComError(E_FAIL);

    IStream* created = nullptr;
    const HRESULT hr = CreateStreamOnHGlobal(block, FALSE, &created);
    if (FAILED(hr))
        Common::Tools::ThrowComError(hr);
    IStreamPtr stream(created, false);
    if (!SaveStreamToFile(stream, path))
        Common::Tools::ThrowComError(E_FAIL);

    // From here on nobody can write the file; what it held before the hold began
    // is checked against the resource.
    if (!tempFiles.HoldFile(path))
        Common::Tools::ThrowComError(E_FAIL);
    bool bSame = false;
    {
        Common::Tools::CGlobalLock data(block);
        bSame = data.Data() != nullptr &&
                FileHolds(path, static_cast<const BYTE*>(data.Data()), GlobalSize(block));
    }
    if (!bSame) {
        tempFiles.ReleaseFile(path);
        Common::Tools::ThrowComError(E_FAIL);
    }

    CString quoted(path);
    QuotePath(quoted);
    SetupTrace(L"File %s successfully extracted to %s", name.GetString(), quoted.GetString());
    return quoted;
}
