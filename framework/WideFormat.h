// printf-style formatting with the Windows meaning of %s and %S.
#pragma once

#include <cstdarg>
#include <string>

namespace Framework {

// Formats with the Windows meaning of the conversions ("%s" wide, "%S" narrow),
// which msvcrt's own functions keep and the C99 ones of the toolchain do not.
// Returns false (and leaves 'out' empty) when the format is invalid.
bool FormatWideV(std::wstring& out, const wchar_t* format, va_list args);
bool FormatWide(std::wstring& out, const wchar_t* format, ...);

} // namespace Framework
