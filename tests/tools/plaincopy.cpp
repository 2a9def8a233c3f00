// plaincopy SOURCE TARGET: copies every file below the folder SOURCE to the same
// path below TARGET with nothing but create, write and close, and prints the file
// count and the bytes written. The yardstick of scripts/benchmark.sh: what a copy
// of the same files costs without a package, unpacking or progress.
// Exit code 0, 1 when a file cannot be read or written, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct SCounts
{
    unsigned long files = 0;
    unsigned long long bytes = 0;
};

class CHandle
{
public:
    explicit CHandle(HANDLE handle) : m_handle(handle) {}
    ~CHandle()
    {
        if (IsValid())
            CloseHandle(m_handle);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool CopyOne(const std::wstring& source, const std::wstring& target, std::vector<BYTE>& buffer, SCounts& counts)
{
    CHandle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    CHandle out(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.IsValid() || !out.IsValid())
        return false;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(in.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return false;
        if (read == 0)
            break;
        DWORD written = 0;
        if (!WriteFile(out.Get(), buffer.data(), read, &written, nullptr) || written != read)
            return false;
        counts.bytes += written;
    }
    ++counts.files;
    return true;
}

bool CopyFolder(const std::wstring& source, const std::wstring& target, std::vector<BYTE>& buffer, SCounts& counts)
{
    if (!CreateDirectoryW(target.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((source + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = CopyFolder(source + L"\\" + name, target + L"\\" + name, buffer, counts);
        else
            ok = CopyOne(source + L"\\" + name, target + L"\\" + name, buffer, counts);
        if (!ok)
            std::fprintf(stderr, "plaincopy: cannot copy %ls\\%ls (error %lu)\n", source.c_str(), name.c_str(),
                         GetLastError());
    } while (ok && FindNextFileW(search, &data));
    FindClose(search);
    return ok;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fputs("usage: plaincopy SOURCE TARGET\n", stderr);
        return 2;
    }
    std::vector<BYTE> buffer(64 * 1024);
    SCounts counts;
    const bool ok = CopyFolder(argv[1], argv[2], buffer, counts);
    std::printf("%lu files, %llu bytes\n", counts.files, counts.bytes);
    return ok ? 0 : 1;
}
