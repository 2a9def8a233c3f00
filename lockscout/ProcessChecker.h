// Answers setup's watch lists over the pipe.
#pragma once

#include "common/win32/PipeChannel.h"
#include "common/win32/ProcessInfo.h"

// Answers setup's watch lists with the processes that use any watched file.
class CProcessChecker : public IPipeDataHandler
{
public:
    virtual ~CProcessChecker() = default;

    // A reply listing the processes found (none: the 4-byte reply with count 0);
    // false for a request shorter than one character.
    bool OnRequest(const BYTE* request, DWORD length, BYTE** reply, DWORD* replyLength) override;
    // Never a client.
    bool OnReply(const BYTE* reply, DWORD length) override;

private:
    Common::Win32::CProcessInfo m_processes;
};

// The server's life: create the pipe, serve the one client until its end frame or
// a broken pipe, close. Traces its start and end; the result is always 0.
int RunLockscout();
