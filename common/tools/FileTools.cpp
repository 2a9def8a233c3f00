// File tools: module holders, streams saved to and loaded from files.
#include "common/tools/FileTools.h"

#include "common/tools/ComError.h"
#include "common/tools/ScopedHandle.h"
#include "common/win32/SystemDll.h"

#include <memory>
#include <new>
#include <optional>

namespace {

const DWORD kChunk = 0x200000;
// The most a memory stream of a 32-bit process can be asked to hold.
const ULONGLONG kLargestStream = 0x7FFFFFFF;

bool RewindStream(IStream* stream)
{
    LARGE_INTEGER zero = {};
    return SUCCEEDED(stream->Seek(zero, STREAM_SEEK_SET, nullptr));
}

// A memory stream is written straight from its block, with no copy through a
// buffer. Gives false, touching nothing, when the stream is not one.
bool WriteBlockOfStream(IStream* stream, const STATSTG& stat, HANDLE file, bool& written)
{
    HGLOBAL block = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &block)) || block == nullptr || stat.cbSize.HighPart != 0 ||
        GlobalSize(block) < stat.cbSize.LowPart)
        return false;
    const DWORD size = stat.cbSize.LowPart;
    DWORD error = ERROR_SUCCESS;
    {
        // An empty stream's block is not locked: it may hold no memory at all.
        std::optional<Common::Tools::CGlobalLock> lock;
        const BYTE* data = nullptr;
        if (size != 0) {
            data = static_cast<const BYTE*>(lock.emplace(block).Data());
            if (data == nullptr)
                return false;
        }
        written = true;
        for (DWORD done = 0; done < size;) {
            const DWORD chunk = size - done < kChunk ? size - done : kChunk;
            DWORD put = 0;
            if (!WriteFile(file, data + done, chunk, &put, nullptr)) {
                written = false;
                break;
            }
            if (put != chunk) {
                SetLastError(ERROR_WRITE_FAULT);
                written = false;
                break;
            }
            done += chunk;
        }
        error = GetLastError();
    }
    // The unlock must not change what the caller reads of a failed write.
    SetLastError(error);
    return true;
}

} // namespace

bool LoadLibraryInto(CModuleHolder& holder, const wchar_t* fileName)
{
    HMODULE module = Common::Win32::LoadPackageDll(fileName);
    if (module != nullptr && module == holder.Get()) {
        // The same module again: the holder keeps its one reference, this second
        // one goes at once.
        const CModuleHolder second(module);
        return true;
    }
    holder.Reset(module);
    return module != nullptr;
}

FARPROC GetProcAddressOrThrow(const CModuleHolder& holder, const char* name)
{
    FARPROC address = nullptr;
    if (holder.IsValid() && name != nullptr)
        address = GetProcAddress(holder.Get(), name);
    if (address == nullptr)
        Common::Tools::ThrowComError(E_FAIL);
    return address;
}

bool SaveStreamToFile(IStream* stream, const wchar_t* path)
{
    return SaveStreamToFile(stream, path, CREATE_ALWAYS);
}

bool SaveStreamToFile(IStream* stream, const wchar_t* path, DWORD creation)
{
    if (stream == nullptr || path == nullptr || *path == L'\0')
        return false;
    Common::Tools::CScopedHandle file(
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return false;
    return WriteStreamToFile(stream, file.Get());
}

bool WriteStreamToFile(IStream* stream, HANDLE file)
{
    if (stream == nullptr)
        return false;
    // The last error tells the caller whether the name was taken: a stream
    // failure must not leave a stale one behind.
    STATSTG stat = {};
    const bool sized = SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME));
    bool whole = false;
    if (sized && WriteBlockOfStream(stream, stat, file, whole)) {
        if (!whole)
            return false;
        if (RewindStream(stream))
            return true;
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    // A buffer no larger than the stream: most files are small, and a chunk
    // allocated and freed per file costs more than writing it.
    DWORD chunk = kChunk;
    if (sized && stat.cbSize.QuadPart < kChunk)
        chunk = stat.cbSize.LowPart != 0 ? stat.cbSize.LowPart : 1;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[chunk]);
    if (!buffer || !RewindStream(stream)) {
        SetLastError(ERROR_READ_FAULT);
        return false;
    }
    for (;;) {
        ULONG read = 0;
        if (FAILED(stream->Read(buffer.get(), chunk, &read)) || read > chunk) {
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        if (read == 0) {
            if (RewindStream(stream))
                return true;
            SetLastError(ERROR_READ_FAULT);
            return false;
        }
        DWORD written = 0;
        if (!WriteFile(file, buffer.get(), read, &written, nullptr))
            return false;
        if (written != read) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
    }
}

IStreamPtr LoadFileToStream(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0')
        return IStreamPtr();
    Common::Tools::CScopedHandle file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return IStreamPtr();
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<ULONGLONG>(size.QuadPart) > kLargestStream)
        return IStreamPtr();

    const DWORD chunk = size.QuadPart < kChunk ? static_cast<DWORD>(size.QuadPart) : kChunk;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[chunk > 0 ? chunk : 1]);
    if (!buffer)
        return IStreamPtr();
    IStream* created = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &created)) || created == nullptr)
        return IStreamPtr();
    IStreamPtr stream(created, false);

    ULONGLONG total = 0;
    for (;;) {
        DWORD read = 0;
        if (chunk > 0 && !ReadFile(file.Get(), buffer.get(), chunk, &read, nullptr))
            return IStreamPtr();
        if (read == 0)
            break;
        total += read;
        if (read > chunk || total > kLargestStream)
            return IStreamPtr();
        ULONG written = 0;
        if (FAILED(stream->Write(buffer.get(), read, &written)) || written != read)
            return IStreamPtr();
    }
    // Whole or nothing: a file that changed under the read is not taken.
    if (total != static_cast<ULONGLONG>(size.QuadPart) || !RewindStream(stream))
        return IStreamPtr();
    return stream;
}
