// Helpers of the end-to-end install tests.
#pragma once
// Helpers of the end-to-end install cases: the standard interface document around a
// scenario's elements, registry and file reads as setup left them, programs with a
// version resource, and a helper process that holds a file open.
#include "tests/e2e/SetupRun.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/PendingOperations.h"
#include "tests/support/TraceLines.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

namespace E2E {

using TestSupport::Bytes;

// Where the scenario documents install: inside the case's own prefix.
const wchar_t kInstallRoot[] = L"C:\\e2e";
const wchar_t kTargetDir[] = L"C:\\e2e\\target";

// The interface document of a scenario: its own elements under the root, after the
// macros that a quiet run needs (no destination page defines %TargetDir%) and the
// messages of the install road.
inline std::string InstallDocument(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<Interface>\n"
           "  <SetupMacroses>\n"
           "    <TargetDir Pattern=\"%TargetDir%\" Value=\"C:\\e2e\\target\"/>\n"
           "    <TargetDataDir Pattern=\"%TargetDataDir%\" Value=\"C:\\e2e\\data\"/>\n"
           "  </SetupMacroses>\n"
           "  <Localize>\n"
           "    <Messages>\n"
           "      <SetupFailed Caption=\"Setup failed.\"/>\n"
           "      <CopyFileError Caption=\"Files could not be copied.\"/>\n"
           "    </Messages>\n"
           "  </Localize>\n" +
           body + "</Interface>\n";
}

inline std::string SetupFiles(const std::string& groups)
{
    return "  <SetupFiles>\n" + groups + "  </SetupFiles>\n";
}

inline std::string PreFinish(const std::string& nodes)
{
    return "  <Install><PreFinish>\n" + nodes + "  </PreFinish></Install>\n";
}

inline std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

inline std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

// ---- registry, as a 32-bit program sees it (setup's own view) ----

// The uninstall record of a product, under HKLM.
inline std::wstring RecordKey(const std::wstring& productId)
{
    return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + productId;
}

struct SRegValue
{
    bool found = false;
    DWORD type = REG_NONE;
    Bytes data;
};

inline SRegValue ReadRegValue(HKEY root, const std::wstring& key, const std::wstring& name)
{
    SRegValue value;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.found = RegQueryValueExW(opened, name.c_str(), nullptr, &value.type, size ? value.data.data() : nullptr,
                                       &size) == ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(opened);
    return value;
}

inline bool RegKeyExists(HKEY root, const std::wstring& key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

inline void DeleteRegTree(HKEY root, const std::wstring& key)
{
    RegDeleteTreeW(root, key.c_str());
    RegDeleteKeyW(root, key.c_str());
}

// REG_SZ data as written: the text and its terminating NUL.
inline Bytes StringData(const std::wstring& text)
{
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return Bytes(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

inline Bytes DwordData(DWORD number)
{
    const BYTE* begin = reinterpret_cast<const BYTE*>(&number);
    return Bytes(begin, begin + sizeof(number));
}

// The entries of a REG_MULTI_SZ value.
inline std::vector<std::wstring> MultiStrings(const Bytes& data)
{
    std::vector<std::wstring> strings;
    const wchar_t* text = reinterpret_cast<const wchar_t*>(data.data());
    const size_t count = data.size() / sizeof(wchar_t);
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        if (text[i] != L'\0')
            continue;
        if (i == start)
            break;
        strings.emplace_back(text + start, text + i);
        start = i + 1;
    }
    return strings;
}

// The paths waiting for deletion at the restart (a source with an empty target), in
// order, without "\??\", lower case.
inline std::vector<std::wstring> PendingDeletions()
{
    std::vector<std::wstring> paths = TestSupport::PendingDeletionPaths();
    for (std::wstring& path : paths)
        path = Lower(path);
    return paths;
}

// ---- files ----

inline bool FileExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The file's bytes, or none when there is no file.
inline Bytes BytesOf(const std::wstring& path)
{
    return FileExists(path) ? TestSupport::ReadFileBytes(path) : Bytes();
}

using TestSupport::RemoveTree;

// Text of an XML stream: UTF-16 with its byte-order mark, or UTF-8.
inline std::wstring XmlText(const Bytes& bytes)
{
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / sizeof(wchar_t));
    const int length = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes.data()),
                                           static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()),
                            &text[0], length);
    return text;
}

// ---- programs with a version resource ----

namespace Detail {

inline void Align(Bytes& bytes)
{
    while (bytes.size() % 4)
        bytes.push_back(0);
}

// One block of a version resource: length, value length, type, key, the value and
// the child blocks, each starting on a 32-bit boundary.
inline Bytes VersionBlock(const std::wstring& key, WORD type, const Bytes& value, WORD valueLength,
                          const std::vector<Bytes>& children = {})
{
    Bytes block(6, 0);
    for (wchar_t c : key + L'\0') {
        block.push_back(static_cast<BYTE>(c));
        block.push_back(static_cast<BYTE>(c >> 8));
    }
    Align(block);
    block.insert(block.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Align(block);
        block.insert(block.end(), child.begin(), child.end());
    }
    const WORD length = static_cast<WORD>(block.size());
    block[0] = static_cast<BYTE>(length);
    block[1] = static_cast<BYTE>(length >> 8);
    block[2] = static_cast<BYTE>(valueLength);
    block[3] = static_cast<BYTE>(valueLength >> 8);
    block[4] = static_cast<BYTE>(type);
    block[5] = static_cast<BYTE>(type >> 8);
    return block;
}

inline Bytes TextValue(const std::wstring& text)
{
    Bytes bytes;
    for (wchar_t c : text + L'\0') {
        bytes.push_back(static_cast<BYTE>(c));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    return bytes;
}

} // namespace Detail

// A version resource whose "ProductVersion" text is 'version' (English, Unicode).
inline Bytes VersionResource(const std::wstring& version)
{
    using Detail::VersionBlock;
    WORD parts[4] = {};
    swscanf(version.c_str(), L"%hu.%hu.%hu.%hu", &parts[0], &parts[1], &parts[2], &parts[3]);
    VS_FIXEDFILEINFO fixed = {};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileVersionMS = fixed.dwProductVersionMS = MAKELONG(parts[1], parts[0]);
    fixed.dwFileVersionLS = fixed.dwProductVersionLS = MAKELONG(parts[3], parts[2]);
    fixed.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    fixed.dwFileOS = VOS_NT_WINDOWS32;
    fixed.dwFileType = VFT_APP;
    const BYTE* fixedBytes = reinterpret_cast<const BYTE*>(&fixed);

    const Bytes text = Detail::TextValue(version);
    const Bytes productVersion =
        VersionBlock(L"ProductVersion", 1, text, static_cast<WORD>(text.size() / sizeof(wchar_t)));
    const Bytes table = VersionBlock(L"040904b0", 1, Bytes(), 0, {productVersion});
    const Bytes strings = VersionBlock(L"StringFileInfo", 1, Bytes(), 0, {table});
    const Bytes translation = {0x09, 0x04, 0xB0, 0x04};
    const Bytes var = VersionBlock(L"Translation", 0, translation, static_cast<WORD>(translation.size()));
    const Bytes vars = VersionBlock(L"VarFileInfo", 1, Bytes(), 0, {var});
    return VersionBlock(L"VS_VERSION_INFO", 0, Bytes(fixedBytes, fixedBytes + sizeof(fixed)), sizeof(fixed),
                        {strings, vars});
}

// The bytes of a program of the build (childprog.exe) that carries the product
// version 'version'; 'scratch' is a file path the copy may use.
inline Bytes VersionedProgram(const std::wstring& version, const std::wstring& scratch)
{
    if (!CopyFileW((TestSupport::ModuleFolder() + L"childprog.exe").c_str(), scratch.c_str(), FALSE))
        return Bytes();
    Bytes resource = VersionResource(version);
    HANDLE update = BeginUpdateResourceW(scratch.c_str(), FALSE);
    if (update == nullptr)
        return Bytes();
    const bool updated = UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(VS_VERSION_INFO),
                                         MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), resource.data(),
                                         static_cast<DWORD>(resource.size())) != FALSE;
    if (!EndUpdateResourceW(update, !updated) || !updated)
        return Bytes();
    Bytes bytes = TestSupport::ReadFileBytes(scratch);
    DeleteFileW(scratch.c_str());
    return bytes;
}

// The "ProductVersion" text of a file's version resource (first translation).
inline std::wstring ProductVersionOf(const std::wstring& path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return std::wstring();
    Bytes block(size);
    WORD* translation = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        length < 4)
        return std::wstring();
    wchar_t query[64];
    swprintf(query, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translation[0], translation[1]);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&value), &length) || value == nullptr)
        return std::wstring();
    return std::wstring(value);
}

// ---- a file held open by another process ----

// Starts childprog.exe holding 'path' open with no sharing; ends it on destruction.
class CFileHolder
{
public:
    explicit CFileHolder(const std::wstring& path)
    {
        const std::wstring eventName = L"e2e-hold-" + std::to_wstring(GetCurrentProcessId());
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
        std::wstring commandLine =
            TestSupport::JoinCommandLine(TestSupport::ModuleFolder() + L"childprog.exe", {L"hold", path, eventName});
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (ready != nullptr && CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                               &startup, &process)) {
            CloseHandle(process.hThread);
            m_hProcess = process.hProcess;
            HANDLE handles[2] = {ready, m_hProcess};
            m_bHolding = WaitForMultipleObjects(2, handles, FALSE, 20000) == WAIT_OBJECT_0;
        }
        if (ready != nullptr)
            CloseHandle(ready);
    }
    ~CFileHolder()
    {
        if (m_hProcess == nullptr)
            return;
        TerminateProcess(m_hProcess, 0);
        WaitForSingleObject(m_hProcess, 10000);
        CloseHandle(m_hProcess);
    }
    CFileHolder(const CFileHolder&) = delete;
    CFileHolder& operator=(const CFileHolder&) = delete;

    bool IsHolding() const { return m_bHolding; }

private:
    HANDLE m_hProcess = nullptr;
    bool m_bHolding = false;
};

} // namespace E2E
