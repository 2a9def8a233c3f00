#include "lockscout/ProcessChecker.h"

#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"

#include <comdef.h>

#include <exception>
#include <memory>

using Common::Tools::CScopedHandle;
using Common::Win32::WatchSet;

namespace {

const DWORD kPipeBufferBytes = 0x200000;

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
        CScopedHandle pipe(::CreateNamedPipeW(LOCKSCOUT_PIPE_NAME, PIPE_ACCESS_DUPLEX,
                                              PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                              PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0,
                                              nullptr));
        if (pipe.IsValid()) {
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
