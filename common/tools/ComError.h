// Raises a failed HRESULT, or the last Win32 error, as a _com_error.
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

// Raises the failure of a call on a COM object with the object's error description,
// when the object says it keeps one for that interface.
[[noreturn]] inline void ThrowComError(HRESULT hr, IUnknown* object, REFIID iid)
{
    IErrorInfo* info = nullptr;
    if (object != nullptr) {
        ISupportErrorInfo* raw = nullptr;
        if (SUCCEEDED(object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&raw))) && raw != nullptr) {
            ISupportErrorInfoPtr support(raw, false);
            if (support->InterfaceSupportsErrorInfo(iid) == S_OK && GetErrorInfo(0, &info) != S_OK)
                info = nullptr;
        }
    }
    // The error object takes over the reference.
    throw _com_error(hr, info);
}

inline void ThrowIfFailed(HRESULT hr, IUnknown* object, REFIID iid)
{
    if (FAILED(hr))
        ThrowComError(hr, object, iid);
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
