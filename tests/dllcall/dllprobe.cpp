// A DLL with one export per call shape of the DLL-call library. Each export
// appends what it received to the file named by the environment variable
// DLLPROBE_LOG ("32 ProbeValue 7"), so that calls made in another process can be
// checked too, and returns a result the caller can steer.
#include <windows.h>

#include <string>

namespace {

const char* Bits()
{
    return sizeof(void*) == 8 ? "64" : "32";
}

void Append(const std::string& line)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"DLLPROBE_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = std::string(Bits()) + " " + line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::string Utf8(const wchar_t* text)
{
    if (text == nullptr)
        return "(null)";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string converted(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &converted[0], size, nullptr, nullptr);
    converted.resize(static_cast<size_t>(size - 1));
    return converted;
}

std::string Text(const char* text)
{
    return text != nullptr ? "'" + std::string(text) + "'" : "(null)";
}

} // namespace

extern "C" {

// Shape 1; "zero" gives 0.
__declspec(dllexport) int WINAPI ProbeText(const char* text)
{
    Append("ProbeText " + Text(text));
    return text != nullptr && std::string(text) == "zero" ? 0 : 1;
}

// Shape 2; returns the value.
__declspec(dllexport) int WINAPI ProbeValue(DWORD value)
{
    Append("ProbeValue " + std::to_string(value));
    return static_cast<int>(value);
}

// Shape 3.
__declspec(dllexport) int WINAPI ProbeValuesText(DWORD first, DWORD second, const char* text)
{
    Append("ProbeValuesText " + std::to_string(first) + " " + std::to_string(second) + " " + Text(text));
    return 1;
}

// Shape 4; returns the sum.
__declspec(dllexport) int WINAPI ProbeValues(DWORD first, DWORD second)
{
    Append("ProbeValues " + std::to_string(first) + " " + std::to_string(second));
    return static_cast<int>(first + second);
}

// Shape 5.
__declspec(dllexport) int WINAPI ProbeValueText(DWORD value, const char* text)
{
    Append("ProbeValueText " + std::to_string(value) + " " + Text(text));
    return 1;
}

// Shape 6.
__declspec(dllexport) int WINAPI ProbeWide(DWORD first, DWORD second, DWORD third, const wchar_t* one,
                                           const wchar_t* two)
{
    Append("ProbeWide " + std::to_string(first) + " " + std::to_string(second) + " " + std::to_string(third) + " '" +
           Utf8(one) + "' '" + Utf8(two) + "'");
    return 1;
}

// Shape 7; its 0 is not taken as a failure.
__declspec(dllexport) int WINAPI ProbeNone()
{
    Append("ProbeNone");
    return 0;
}

// The entry point a RunDll node calls by default; returns the value.
__declspec(dllexport) int WINAPI Setup(DWORD value)
{
    Append("Setup " + std::to_string(value));
    return static_cast<int>(value);
}

// Writes the process's current directory.
__declspec(dllexport) int WINAPI ProbeFolder()
{
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, folder);
    Append(std::string("ProbeFolder ") + folder);
    return 1;
}

} // extern "C"
