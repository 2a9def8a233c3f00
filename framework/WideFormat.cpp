// printf-style formatting with the Windows meaning of %s and %S.
#include "framework/WideFormat.h"

#include <stdio.h>
#include <wchar.h>

namespace Framework {

bool FormatWideV(std::wstring& out, const wchar_t* format, va_list args)
{
    out.clear();
    if (format == nullptr)
        return false;

    // Measuring consumes the argument list, so the formatting pass gets a copy.
    va_list measureArgs;
    va_copy(measureArgs, args);
    const int length = _vscwprintf(format, measureArgs);
    va_end(measureArgs);
    if (length < 0)
        return false;

    out.resize(static_cast<size_t>(length) + 1);
    va_list formatArgs;
    va_copy(formatArgs, args);
    const int written = _vsnwprintf(&out[0], out.size(), format, formatArgs);
    va_end(formatArgs);
    if (written < 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(written));
    return true;
}

bool FormatWide(std::wstring& out, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool ok = FormatWideV(out, format, args);
    va_end(args);
    return ok;
}

} // namespace Framework
