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

} // namespace Tools
} // namespace Common
