// Builds install packages and temporary folders for tests.
#include "tests/support/PackageFixture.h"

#include "common/storage/PackedStorage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <stdexcept>

namespace TestSupport {

namespace {


void MakeFolders(const std::wstring& path)
{
    for (size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
}

} // namespace

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

Bytes ToBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Pattern(size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<BYTE>((i * 131 + seed * 17 + (i >> 7)) & 0xFF);
    return bytes;
}

Bytes WithPackedTrailer(Bytes data, DWORD size)
{
    const auto append = [&data](DWORD value) {
        for (int shift = 0; shift < 32; shift += 8)
            data.push_back(static_cast<BYTE>(value >> shift));
    };
    append(Common::Storage::kPackedMagic);
    append(size);
    append(adler32(1, data.data(), static_cast<uInt>(data.size())));
    return data;
}

Bytes Noise(size_t size, DWORD seed)
{
    Bytes bytes(size);
    DWORD state = seed * 2654435761u + 1;
    for (BYTE& b : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        b = static_cast<BYTE>(state);
    }
    return bytes;
}

Bytes StreamContent(IStream* stream)
{
    Bytes bytes;
    BYTE buffer[4096];
    ULONG read = 0;
    while (stream != nullptr && SUCCEEDED(stream->Read(buffer, sizeof(buffer), &read)) && read > 0)
        bytes.insert(bytes.end(), buffer, buffer + read);
    return bytes;
}

HRESULT ComErrorOf(const std::function<void()>& body)
{
    try {
        body();
    } catch (const _com_error& error) {
        return error.Error();
    }
    return S_OK;
}

Bytes ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open a test file");
    Bytes bytes(GetFileSize(file, nullptr));
    DWORD read = 0;
    const BOOL ok = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read != bytes.size())
        throw std::runtime_error("cannot read a test file");
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const Bytes& bytes)
{
    MakeFolders(path);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot create a test file");
    DWORD written = 0;
    const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size())
        throw std::runtime_error("cannot write a test file");
}

CTempFolder::CTempFolder()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        wchar_t name[64];
        wsprintfW(name, L"setup-test-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
        m_strPath = std::wstring(base) + name;
        if (CreateDirectoryW(m_strPath.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("cannot make a temporary folder");
    }
}

CTempFolder::~CTempFolder()
{
    RemoveTree(m_strPath);
}

std::wstring MakePackage(const CTempFolder& temp, const PackageFiles& files, const PackageTools::SBuildOptions& options,
                         const std::wstring& name)
{
    static LONG counter = 0;
    wchar_t folderName[32];
    wsprintfW(folderName, L"tree%ld", InterlockedIncrement(&counter));
    const std::wstring folder = temp / folderName;
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const auto& file : files) {
        if (!file.first.empty() && file.first.back() == L'\\')
            CreateDirectoryW((folder + L"\\" + file.first).c_str(), nullptr); // an empty folder
        else
            WriteFileBytes(folder + L"\\" + file.first, file.second);
    }
    const std::wstring package = temp / name;
    std::wstring error;
    EXPECT_TRUE(PackageTools::BuildPackage(folder, package, options, error)) << std::string(error.begin(), error.end());
    return package;
}

CGlobalBlock::CGlobalBlock(const Bytes& bytes) : m_hBlock(GlobalAlloc(GMEM_MOVEABLE, bytes.size()))
{
    if (m_hBlock == nullptr)
        throw std::runtime_error("GlobalAlloc failed");
    if (!bytes.empty()) {
        std::memcpy(GlobalLock(m_hBlock), bytes.data(), bytes.size());
        GlobalUnlock(m_hBlock);
    }
}

CGlobalBlock::~CGlobalBlock()
{
    GlobalFree(m_hBlock);
}

DWORD CCompoundImage::Dword(size_t offset) const
{
    DWORD value = 0;
    if (offset + 4 <= m_bytes.size())
        std::memcpy(&value, &m_bytes[offset], 4);
    return value;
}

void CCompoundImage::SetDword(size_t offset, DWORD value)
{
    if (offset + 4 > m_bytes.size())
        throw std::out_of_range("patch beyond the image");
    std::memcpy(&m_bytes[offset], &value, 4);
}

size_t CCompoundImage::SectorSize() const
{
    return size_t(1) << (m_bytes[0x1E] | (m_bytes[0x1F] << 8));
}

size_t CCompoundImage::SectorOffset(DWORD sector) const
{
    return (static_cast<size_t>(sector) + 1) * SectorSize();
}

size_t CCompoundImage::FindEntry(const std::wstring& name, BYTE type) const
{
    const size_t nameBytes = (name.size() + 1) * 2;
    for (size_t offset = SectorSize(); offset + 128 <= m_bytes.size(); offset += 128) {
        const BYTE* entry = &m_bytes[offset];
        if (entry[0x42] != type || static_cast<size_t>(entry[0x40] | (entry[0x41] << 8)) != nameBytes)
            continue;
        if (std::memcmp(entry, name.c_str(), name.size() * 2) == 0)
            return offset;
    }
    throw std::runtime_error("no such directory entry");
}

void CCompoundImage::SetEntryName(size_t entry, const std::wstring& name)
{
    if (name.size() > 31)
        throw std::invalid_argument("entry names hold 31 characters");
    std::memset(&m_bytes[entry], 0, 64);
    std::memcpy(&m_bytes[entry], name.c_str(), name.size() * 2);
    const WORD length = static_cast<WORD>((name.size() + 1) * 2);
    m_bytes[entry + 0x40] = static_cast<BYTE>(length);
    m_bytes[entry + 0x41] = static_cast<BYTE>(length >> 8);
}

size_t CCompoundImage::FatCell(DWORD sector) const
{
    const size_t perSector = SectorSize() / 4;
    const size_t index = sector / perSector;
    if (index >= 109)
        throw std::out_of_range("sector beyond the header's FAT list");
    return SectorOffset(Dword(0x4C + index * 4)) + (sector % perSector) * 4;
}

} // namespace TestSupport
