// A stand-in for the printer setup library. Each export appends one line with
// its name and arguments ("InstallDriver|a.drv|Drv|1|1") to the file named by
// FAKEPRINTER_LOG. FAKEPRINTER_RESULTS ("InstallPrinter=-2147024891;...") picks
// the result of an export (default S_OK); FAKEPRINTER_TEXTS
// ("GetVersion=2.0;GetPrinterRegKey=...") the text it writes into its buffer.
#include <windows.h>
#include <winspool.h>

#include <cwchar>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name)
{
    wchar_t buffer[4096];
    const DWORD length = GetEnvironmentVariableW(name, buffer, 4096);
    if (length == 0 || length >= 4096)
        return std::wstring();
    return std::wstring(buffer, length);
}

// The value of "name=value" in a list separated by ";"; found false when absent.
std::wstring Lookup(const wchar_t* variable, const std::wstring& name, bool* found)
{
    const std::wstring list = L";" + Environment(variable) + L";";
    const std::wstring key = L";" + name + L"=";
    const size_t start = list.find(key);
    *found = start != std::wstring::npos;
    if (!*found)
        return std::wstring();
    const size_t from = start + key.size();
    return list.substr(from, list.find(L';', from) - from);
}

HRESULT Result(const wchar_t* name)
{
    bool found = false;
    const std::wstring value = Lookup(L"FAKEPRINTER_RESULTS", name, &found);
    return found ? static_cast<HRESULT>(wcstoul(value.c_str(), nullptr, 0)) : S_OK;
}

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string converted(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &converted[0], size, nullptr, nullptr);
    converted.resize(static_cast<size_t>(size - 1));
    return converted;
}

std::string Arg(const wchar_t* text)
{
    return text != nullptr ? Utf8(text) : "(null)";
}

std::string Arg(DWORD value)
{
    return std::to_string(value);
}

void Log(const std::string& line)
{
    const std::wstring path = Environment(L"FAKEPRINTER_LOG");
    if (path.empty())
        return;
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

// Writes the chosen text into the caller's buffer, cut to the size given, and
// logs the size the caller offered.
HRESULT Fill(const wchar_t* name, const std::string& line, wchar_t* buffer, DWORD* size)
{
    const DWORD offered = size != nullptr ? *size : 0;
    Log(line + "|" + std::to_string(offered));
    bool found = false;
    const std::wstring text = Lookup(L"FAKEPRINTER_TEXTS", name, &found);
    if (buffer != nullptr && offered > 0) {
        const size_t count = text.size() < offered ? text.size() : offered;
        text.copy(buffer, count);
        // A text as long as the buffer is left without its terminator.
        if (count < offered)
            buffer[count] = L'\0';
    }
    return Result(name);
}

} // namespace

extern "C" {

HRESULT WINAPI FakeOpenLibrary(const wchar_t* cfs)
{
    // Asks the spooler as a real printer library does, so that loading this one
    // takes winspool.drv in its wake.
    DWORD needed = 0;
    GetDefaultPrinterW(nullptr, &needed);
    Log("OpenLibrary|" + Arg(cfs));
    return Result(L"OpenLibrary");
}

HRESULT WINAPI FakeGetVersion(wchar_t* buffer, DWORD* size)
{
    return Fill(L"GetVersion", "GetVersion", buffer, size);
}

HRESULT WINAPI FakeGetDriverVersion(const wchar_t* driver, DWORD zero, wchar_t* buffer, DWORD* size)
{
    return Fill(L"GetDriverVersion", "GetDriverVersion|" + Arg(driver) + "|" + Arg(zero), buffer, size);
}

HRESULT WINAPI FakeGetDriverProcVersion(const wchar_t* proc, wchar_t* buffer, DWORD* size)
{
    return Fill(L"GetDriverProcVersion", "GetDriverProcVersion|" + Arg(proc), buffer, size);
}

HRESULT WINAPI FakeInstallDriver(const wchar_t* file, const wchar_t* caption, DWORD first, DWORD second)
{
    Log("InstallDriver|" + Arg(file) + "|" + Arg(caption) + "|" + Arg(first) + "|" + Arg(second));
    return Result(L"InstallDriver");
}

HRESULT WINAPI FakeInstallDriverProc(const wchar_t* file, const wchar_t* caption)
{
    Log("InstallDriverProc|" + Arg(file) + "|" + Arg(caption));
    return Result(L"InstallDriverProc");
}

HRESULT WINAPI FakeInstallPrinter(const wchar_t* name, const wchar_t* id, const wchar_t* driver, const wchar_t* proc,
                                  const wchar_t* port, const wchar_t* share)
{
    Log("InstallPrinter|" + Arg(name) + "|" + Arg(id) + "|" + Arg(driver) + "|" + Arg(proc) + "|" + Arg(port) + "|" +
        Arg(share));
    return Result(L"InstallPrinter");
}

HRESULT WINAPI FakeInstallConnector(const wchar_t* name, DWORD type, const wchar_t* id, const wchar_t* host,
                                    const wchar_t* reserved)
{
    Log("InstallConnector|" + Arg(name) + "|" + Arg(type) + "|" + Arg(id) + "|" + Arg(host) + "|" + Arg(reserved));
    return Result(L"InstallConnector");
}

HRESULT WINAPI FakeSetupPrinterEventHandler(const wchar_t* name, const wchar_t* guid32, const wchar_t* module32,
                                            const wchar_t* guid64, const wchar_t* module64, DWORD mask)
{
    Log("SetupPrinterEventHandler|" + Arg(name) + "|" + Arg(guid32) + "|" + Arg(module32) + "|" + Arg(guid64) + "|" +
        Arg(module64) + "|" + Arg(mask));
    return Result(L"SetupPrinterEventHandler");
}

HRESULT WINAPI FakeInstallPrinterDependence(const wchar_t* name, const wchar_t* source, const wchar_t* target)
{
    Log("InstallPrinterDependence|" + Arg(name) + "|" + Arg(source) + "|" + Arg(target));
    return Result(L"InstallPrinterDependence");
}

HRESULT WINAPI FakeSetDriverIsolation(const wchar_t* file, const wchar_t* mode)
{
    Log("SetDriverIsolation|" + Arg(file) + "|" + Arg(mode));
    return Result(L"SetDriverIsolation");
}

HRESULT WINAPI FakeGetPrinterRegKey(const wchar_t* name, wchar_t* buffer, DWORD* size)
{
    return Fill(L"GetPrinterRegKey", "GetPrinterRegKey|" + Arg(name), buffer, size);
}

HRESULT WINAPI FakeUninstallPrinter(const wchar_t* name)
{
    Log("UninstallPrinter|" + Arg(name));
    return Result(L"UninstallPrinter");
}

HRESULT WINAPI FakeUninstallConnector(const wchar_t* name)
{
    Log("UninstallConnector|" + Arg(name));
    return Result(L"UninstallConnector");
}

HRESULT WINAPI FakeUninstallDriverProc(const wchar_t* caption)
{
    Log("UninstallDriverProc|" + Arg(caption));
    return Result(L"UninstallDriverProc");
}

HRESULT WINAPI FakeUninstallDriver(const wchar_t* caption)
{
    Log("UninstallDriver|" + Arg(caption));
    return Result(L"UninstallDriver");
}

HRESULT WINAPI FakeUninstallPrinterDependences(const wchar_t* name)
{
    Log("UninstallPrinterDependences|" + Arg(name));
    return Result(L"UninstallPrinterDependences");
}

HRESULT WINAPI FakeCloseLibrary()
{
    Log("CloseLibrary");
    return Result(L"CloseLibrary");
}

} // extern "C"
