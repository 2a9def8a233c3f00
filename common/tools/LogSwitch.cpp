// The registry switch that turns the trace and the debug log on.
#include "common/tools/LogSwitch.h"

#include "common/tools/RegKey.h"

#include <windows.h>

namespace Common {
namespace Tools {

int ReadLogSwitch(const wchar_t* keyPath)
{
    int level = 0;
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ) == ERROR_SUCCESS) {
        DWORD value = 0;
        DWORD size = sizeof(value);
        // The value's type is not looked at: any 4-byte value is the level.
        if (RegQueryValueExW(key.Get(), L"LogLevel", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
                ERROR_SUCCESS &&
            size == sizeof(value))
            level = static_cast<int>(value);
    }
    return level;
}

} // namespace Tools
} // namespace Common
