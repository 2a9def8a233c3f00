// Whether the process is a 32-bit program running on 64-bit Windows.
#pragma once

namespace Common {
namespace Win32 {

// True under WOW64 (a 32-bit program on 64-bit Windows); false in a 64-bit
// program and where the system cannot tell.
bool IsWow64();

} // namespace Win32
} // namespace Common
