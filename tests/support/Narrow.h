// Wide text as ASCII for test messages.
#pragma once

#include "framework/WinString.h"

#include <string>

namespace TestSupport {

// Wide text for test messages: ASCII kept, everything else as '?'.
inline std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

inline std::string Narrow(const CString& text)
{
    return Narrow(text.Str());
}

inline std::string Narrow(const wchar_t* text)
{
    return Narrow(std::wstring(text != nullptr ? text : L""));
}

} // namespace TestSupport
