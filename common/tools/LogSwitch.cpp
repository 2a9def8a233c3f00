// The registry switch that turns the trace and the debug log on.
#include "common/tools/LogSwitch.h"

#include <windows.h>

namespace Common {
namespace Tools {

int ReadLogSwitch(const wchar_t* keyPath)
{
    int level = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        // The value's type is not looked at: any 4-byte value is the level.
        if (RegQueryValueExW(key, L"LogLevel", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            size == sizeof(value))
            level = static_cast<int>(value);
        RegCloseKey(key);
    }
    return level;
}

} // namespace Tools
} // namespace Common
