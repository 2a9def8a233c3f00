#include "setup/engine/tools.h"

#include <regex>

bool IsGuidName(const wchar_t* text)
{
    if (text == nullptr)
        return false;
    static const std::wregex pattern(
        L"\\{{0,1}([a-fA-F0-9]){8}-([a-fA-F0-9]){4}-([a-fA-F0-9]){4}-([a-fA-F0-9]){4}-([a-fA-F0-9]){12}\\}{0,1}",
        std::regex_constants::ECMAScript);
    return std::regex_match(text, pattern);
}
