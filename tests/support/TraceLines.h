// Trace lines as one text for failure messages.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace TestSupport {

// Trace lines as one text, a line feed after each (for failure messages and
// searches across lines).
inline std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

inline bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline bool HasLineWith(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

inline bool HasLineStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.compare(0, prefix.size(), prefix) == 0; });
}

} // namespace TestSupport
