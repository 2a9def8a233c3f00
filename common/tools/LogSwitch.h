// The registry switch that turns the trace and the debug log on.
#pragma once

namespace Common {
namespace Tools {

// The DWORD "LogLevel" under HKLM\<keyPath> in the program's own registry view;
// 0 when the key or value is missing or is not 4 bytes long.
int ReadLogSwitch(const wchar_t* keyPath);

} // namespace Tools
} // namespace Common
