// The trace lines to the debugger output.
#include "common/tools/SetupTrace.h"

#include "common/tools/LogSwitch.h"
#include "framework/WideFormat.h"

#include <windows.h>

#include <cstdarg>
#include <string>

namespace {

// -1 until the registry has been read.
int g_nTraceLevel = -1;

} // namespace

void SetupTrace(const wchar_t* format, ...)
{
    if (g_nTraceLevel == -1) {
        g_nTraceLevel = 0;
        g_nTraceLevel = Common::Tools::ReadLogSwitch(L"SOFTWARE\\Quorvant\\Setup");
    }
    if (g_nTraceLevel == 0 || format == nullptr)
        return;

    // The line feed rule looks at the format, not at the formatted text.
    std::wstring lineFormat(L"Setup: ");
    lineFormat += format;
    if (lineFormat.back() != L'\n')
        lineFormat += L'\n';

    std::wstring line;
    va_list args;
    va_start(args, format);
    const bool formatted = Framework::FormatWideV(line, lineFormat.c_str(), args);
    va_end(args);
    if (formatted)
        OutputDebugStringW(line.c_str());
}

namespace Common {
namespace Tools {

void ResetSetupTraceLevel()
{
    g_nTraceLevel = -1;
}

} // namespace Tools
} // namespace Common
