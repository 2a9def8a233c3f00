// Answers setup's watch lists over the pipe.
#include "lockscout/ProcessChecker.h"

#include "lockscout/PipeSecurity.h"

#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"

#include <comdef.h>

#include <exception>
#include <memory>

using Common::Tools::CScopedHandle;
using Common::Win32::WatchSet;

namespace {

const DWORD kPipeBufferBytes = 0x200000;

// True when the pipe has no instance but this one and admits no other: FIRST_PIPE_
// INSTANCE already refuses a name taken before, this also holds where the flag is not
// enforced.
bool IsOnlyInstance(HANDLE pipe)
{
    DWORD current = 0;
    DWORD maximum = 0;
    return ::GetNamedPipeHandleStateW(pipe, nullptr, &current, nullptr, nullptr, nullptr, 0) &&
           ::GetNamedPipeInfo(pipe, nullptr, nullptr, nullptr, &maximum) && current == 1 && maximum == 1;
}

void Serve(HANDLE pipe, CProcessChecker& checker)
{
    CPipeChannel channel(&checker);
    channel.Attach(pipe);
    for (;;) {
        BYTE* received = nullptr;
        DWORD length = 0;
        // A failed or short read, a broken pipe and the end frame all end it.
        if (!channel.ReadMessage(&received, &length))
            break;
        std::unique_ptr<BYTE[]> request(received);
        BYTE* answer = nullptr;
        DWORD answerLength = 0;
        if (checker.OnRequest(request.get(), length, &answer, &answerLength)) {
            std::unique_ptr<BYTE[]> reply(answer);
            // A failed write shows at the next read.
            channel.WriteMessage(reply.get(), answerLength);
        }
    }
    ::FlushFileBuffers(pipe);
    ::DisconnectNamedPipe(pipe);
}

} // namespace

bool CProcessChecker::OnRequest(const BYTE* request, DWORD length, BYTE** reply, DWORD* replyLength)
{
    *reply = nullptr;
    *replyLength = 0;
    if (request == nullptr || length < 2)
        return false;
    WatchSet entries;
    Common::Win32::SplitWatchRequest(request, length, entries);
    m_processes.SetWatchList(entries);
    m_processes.Refresh();
    *reply = Common::Win32::BuildProcessReply(m_processes, replyLength);
    return true;
}

bool CProcessChecker::OnReply(const BYTE*, DWORD)
{
    return false;
}

int RunLockscout()
{
    SetupTrace(L"Starting lockscout ...\n");
    try {
        CProcessChecker checker;
        CPipeSecurity security;
        // One instance, created first: a program that took the name before must not
        // share in setup's conversation, nor one that comes later.
        CScopedHandle pipe(::CreateNamedPipeW(
            LOCKSCOUT_PIPE_NAME, PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBufferBytes,
            kPipeBufferBytes, 0, security.Attributes()));
        if (!pipe.IsValid()) {
            SetupTrace(L"Failed to create the pipe: %u\n", static_cast<unsigned>(::GetLastError()));
        } else if (!IsOnlyInstance(pipe.Get())) {
            SetupTrace(L"The pipe's name is taken by another program\n");
        } else {
            // The client may have opened the pipe between its creation and the wait.
            const bool connected =
                ::ConnectNamedPipe(pipe.Get(), nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
            if (connected)
                Serve(pipe.Get(), checker);
        }
    } catch (const _com_error& error) {
        SetupTrace(L"lockscout failed: %#010x\n", static_cast<unsigned>(error.Error()));
    } catch (const std::exception& error) {
        SetupTrace(L"lockscout failed: %S\n", error.what());
    }
    SetupTrace(L"Exiting lockscout ...\n");
    return 0;
}
