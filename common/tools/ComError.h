// Raises a failed HRESULT as a _com_error.
#pragma once

#include <windows.h>
#include "common/tools/ComSupport.h"

namespace Common {
namespace Tools {

// Raises a failed HRESULT as the _com_error that carries failures to the
// boundary of each public operation.
inline void ThrowIfFailed(HRESULT hr)
{
    if (FAILED(hr))
        throw _com_error(hr);
}

[[noreturn]] inline void ThrowComError(HRESULT hr)
{
    throw _com_error(hr);
}

// The calling thread's last error as an HRESULT; E_FAIL when it names none, so
// that a failure never travels as a success code.
inline HRESULT LastErrorResult()
{
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// For a Win32 call that reports failure through its result and the last error:
// raises that error when the call failed.
inline void ThrowLastErrorIf(bool failed)
{
    if (failed)
        throw _com_error(LastErrorResult());
}

} // namespace Tools
} // namespace Common
