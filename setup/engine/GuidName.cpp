// Recognises a text that is a GUID.
#include "setup/engine/GuidName.h"

#include <cstddef>

namespace {

bool IsHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

} // namespace

// Matched by hand rather than with std::regex, which alone would add several hundred
// kilobytes to setup: "{" optional, 8-4-4-4-12 hex digits, "}" optional, nothing else.
bool IsGuidName(const wchar_t* text)
{
    if (text == nullptr)
        return false;
    static const int groups[] = {8, 4, 4, 4, 12};
    const wchar_t* p = text;
    if (*p == L'{')
        ++p;
    for (size_t group = 0; group < sizeof(groups) / sizeof(groups[0]); ++group) {
        if (group > 0 && *p++ != L'-')
            return false;
        for (int digit = 0; digit < groups[group]; ++digit, ++p) {
            if (!IsHexDigit(*p))
                return false;
        }
    }
    if (*p == L'}')
        ++p;
    return *p == L'\0';
}
