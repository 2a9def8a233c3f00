// The package builder: a folder tree made into an install package.
#include "tools/cfsbuild/PackageBuilder.h"

#include "common/storage/CompFile.h"
#include "common/storage/PackedStorage.h"
#include "common/storage/RC4.h"
#include "common/storage/RootStateBits.h"
#include "common/tools/ScopedHandle.h"

#include <objbase.h>
#include <shlwapi.h>
#include <zlib.h>

#include <algorithm>
#include <stdexcept>

namespace PackageTools {

namespace {

// A failure with the path it concerns: cfsbuild's message names the step and the
// path, which a _com_error has no room for.
struct SBuildError
{
    std::wstring message;
};

// The builder's pair of raise helpers, shaped as ThrowComError and ThrowIfFailed
// are: the step, the path and the code go into the message.
[[noreturn]] void ThrowBuildError(const std::wstring& what, const std::wstring& path, HRESULT hr)
{
    wchar_t code[16];
    wsprintfW(code, L"0x%08X", static_cast<unsigned>(hr));
    throw SBuildError{what + L" " + path + L": " + code};
}

void ThrowIfFailed(HRESULT hr, const std::wstring& what, const std::wstring& path)
{
    if (FAILED(hr))
        ThrowBuildError(what, path, hr);
}

void AppendWord(std::vector<BYTE>& bytes, DWORD value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<BYTE>(value >> shift));
}

std::vector<BYTE> ReadWholeFile(const std::wstring& path)
{
    Common::Tools::CScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size))
        ThrowBuildError(L"cannot read", path, HRESULT_FROM_WIN32(GetLastError()));
    if (size.QuadPart > 0x7FFFFFFF)
        ThrowBuildError(L"too large for a package stream:", path, E_FAIL);
    std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size()))
        ThrowBuildError(L"cannot read", path, HRESULT_FROM_WIN32(GetLastError()));
    return bytes;
}

// The folder's entries, sorted so that a build is repeatable.
std::vector<WIN32_FIND_DATAW> FolderEntries(const std::wstring& folder)
{
    std::vector<WIN32_FIND_DATAW> entries;
    WIN32_FIND_DATAW data;
    const Common::Tools::CFindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!search.IsValid())
        ThrowBuildError(L"cannot list", folder, HRESULT_FROM_WIN32(GetLastError()));
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            entries.push_back(data);
    } while (FindNextFileW(search.Get(), &data));
    std::sort(entries.begin(), entries.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
        return std::wstring(a.cFileName) < std::wstring(b.cFileName);
    });
    return entries;
}

class CBuilder
{
public:
    explicit CBuilder(const SBuildOptions& options)
        : m_options(options), m_key(Narrow(Common::OLETools::CCompFile::Key))
    {
    }

    void AddFolder(IStorage* storage, const std::wstring& folder, const std::wstring& packagePath)
    {
        for (const WIN32_FIND_DATAW& entry : FolderEntries(folder)) {
            const std::wstring name = entry.cFileName;
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                IStorage* created = nullptr;
                const HRESULT hr = storage->CreateStorage(name.c_str(), Common::OLETools::kModeReadWrite, 0, 0, &created);
                IStoragePtr child(created, false);
                ThrowIfFailed(hr, L"cannot make the storage for", path);
                AddFolder(child, path, packagePath + L"\\" + name);
            } else {
                AddFile(storage, path, name, packagePath.empty() ? name : packagePath.substr(1) + L"\\" + name);
            }
        }
    }

private:
    static std::string Narrow(const std::wstring& text)
    {
        return std::string(text.begin(), text.end()); // the key is ASCII
    }

    bool ShouldPack(const std::wstring& relative) const
    {
        if (m_options.pack)
            return true;
        for (const std::wstring& pattern : m_options.packOnly)
            if (PathMatchSpecW(relative.c_str(), pattern.c_str()))
                return true;
        return false;
    }

    void AddFile(IStorage* storage, const std::wstring& path, const std::wstring& name, const std::wstring& relative)
    {
        std::vector<BYTE> bytes = ReadWholeFile(path);
        if (ShouldPack(relative))
            bytes = PackBytes(bytes);
        if (m_options.cipher && !bytes.empty()) {
            std::vector<BYTE> plain = bytes;
            Common::Storage::RC4Transform(reinterpret_cast<const BYTE*>(m_key.data()), static_cast<DWORD>(m_key.size()),
                                          plain.data(), static_cast<DWORD>(plain.size()), bytes.data(),
                                          static_cast<DWORD>(bytes.size()));
        }
        IStream* created = nullptr;
        const HRESULT hr = storage->CreateStream(name.c_str(), Common::OLETools::kModeReadWrite, 0, 0, &created);
        IStreamPtr stream(created, false);
        ThrowIfFailed(hr, L"cannot make the stream for", path);
        if (bytes.empty())
            return;
        ULONG written = 0;
        ThrowIfFailed(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), L"cannot write", path);
        if (written != bytes.size())
            ThrowBuildError(L"cannot write", path, STG_E_MEDIUMFULL);
    }

    SBuildOptions m_options;
    std::string m_key;
};

} // namespace

std::vector<BYTE> PackBytes(const std::vector<BYTE>& plain)
{
    uLongf length = compressBound(static_cast<uLong>(plain.size()));
    std::vector<BYTE> packed(length);
    if (compress2(packed.data(), &length, plain.data(), static_cast<uLong>(plain.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    packed.resize(length);
    AppendWord(packed, Common::Storage::kPackedMagic);
    AppendWord(packed, static_cast<DWORD>(plain.size()));
    AppendWord(packed, adler32(1, packed.data(), static_cast<uInt>(packed.size())));
    return packed;
}

bool BuildPackage(const std::wstring& folder, const std::wstring& package, const SBuildOptions& options,
                  std::wstring& error)
{
    try {
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            ThrowBuildError(L"not a folder:", folder, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
        {
            IStorage* created = nullptr;
            const HRESULT hr = StgCreateDocfile(package.c_str(), STGM_CREATE | Common::OLETools::kModeReadWrite, 0, &created);
            IStoragePtr root(created, false);
            ThrowIfFailed(hr, L"cannot create", package);
            CBuilder(options).AddFolder(root, folder, L"");
            if (options.cipher)
                ThrowIfFailed(root->SetStateBits(1, 1), L"cannot mark", package);
            ThrowIfFailed(root->Commit(STGC_DEFAULT), L"cannot commit", package);
        }
        // The platform may not keep the bit on disk: write it where it belongs.
        if (options.cipher && !Common::OLETools::WriteRootStateBits(package, 1))
            ThrowBuildError(L"cannot mark", package, E_FAIL);
        return true;
    } catch (const SBuildError& failure) {
        error = failure.message;
    } catch (const std::exception& failure) {
        const std::string what = failure.what();
        error = std::wstring(what.begin(), what.end());
    }
    DeleteFileW(package.c_str());
    return false;
}

} // namespace PackageTools
