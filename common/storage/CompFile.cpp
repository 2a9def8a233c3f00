// The install package as a compound file: streams read and written whole.
#include "common/storage/CompFile.h"

#include "common/storage/CompoundCheck.h"
#include "common/storage/ImageReader.h"
#include "common/storage/MappedLockBytes.h"
#include "common/storage/RootStateBits.h"
#include "common/storage/Storage.h"
#include "common/tools/ComError.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"

#include <cstring>
#include <new>
#include <set>

namespace Common {
namespace OLETools {

using Tools::ThrowComError;
using Tools::ThrowIfFailed;

namespace {

std::unique_ptr<BYTE[]> AllocateBytes(DWORD size)
{
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[size]);
    if (!bytes)
        ThrowComError(E_OUTOFMEMORY);
    return bytes;
}

// Whole streams live in memory: a stream of 4 GiB or more cannot be read whole.
DWORD WholeStreamSize(const ULARGE_INTEGER& size)
{
    if (size.HighPart != 0)
        ThrowComError(E_FAIL);
    return size.LowPart;
}

std::string KeyBytes(const std::wstring& key)
{
    const int length = WideCharToMultiByte(CP_THREAD_ACP, 0, key.c_str(), static_cast<int>(key.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_THREAD_ACP, 0, key.c_str(), static_cast<int>(key.size()), &bytes[0], length, nullptr,
                            nullptr);
    return bytes;
}

const DWORD kStateBitTransform = 1;

} // namespace

const wchar_t* const CCompFile::Key = L"{7C3A9E15-2B84-4F61-A0D7-5E92C8B41F36}";

CCompFile::CCompFile(const std::wstring& path, bool create, DWORD mode)
    : m_strKey(Key), m_strPath(path), m_nMode(mode), m_pTransform(&Storage::CStorage::TransformBytes)
{
    if (create) {
        IStorage* root = nullptr;
        const HRESULT hr = StgCreateDocfile(path.c_str(), mode & ~static_cast<DWORD>(STGM_CREATE), 0, &root);
        ThrowIfFailed(hr);
        m_pRoot.Attach(root);
        m_bOpen = true;
        if (!m_strKey.empty()) {
            m_nStateBits |= kStateBitTransform;
            ThrowIfFailed(m_pRoot->SetStateBits(m_nStateBits, m_nStateBits));
        }
    } else {
        Open();
    }
    Close();
}

CCompFile::CCompFile(HGLOBAL block)
    : m_strKey(Key), m_nMode(kModeReadOnly), m_pTransform(&Storage::CStorage::TransformBytes)
{
    ILockBytes* lockBytes = nullptr;
    ThrowIfFailed(CreateILockBytesOnHGlobal(block, FALSE, &lockBytes));
    m_pLockBytes.Attach(lockBytes);
    Open();
    Close();
}

CCompFile::~CCompFile()
{
    Close();
    m_pLockBytes = nullptr;
}

void CCompFile::Open()
{
    Close();

    const DWORD bitsOnDisk = InspectImage();
    if (m_pReader && m_pImage) {
        // A package that is only read is served from its own tables, checked
        // above; the platform's storage, whose open reads the whole of them again
        // (each time the package is opened), is opened only for what the tables
        // leave to it.
        m_nStateBits = bitsOnDisk;
    } else {
        OpenRoot(bitsOnDisk);
    }
    m_bOpen = true;
}

void CCompFile::OpenRoot(DWORD bitsOnDisk)
{
    const DWORD mode = m_nMode & ~static_cast<DWORD>(STGM_CREATE);
    IStorage* root = nullptr;
    HRESULT hr;
    if (m_pLockBytes) {
        hr = StgOpenStorageOnILockBytes(m_pLockBytes, nullptr, mode, nullptr, 0, &root);
    } else {
        // A package that is only read is served from a mapping of the file: the
        // platform's own file access costs a seek and a read per sector. The root
        // holds the mapping and lets it go when it is released.
        ILockBytesPtr mapped;
        if ((mode & (STGM_WRITE | STGM_READWRITE)) == 0)
            mapped = CMappedLockBytes::Open(m_strPath);
        hr = mapped ? StgOpenStorageOnILockBytes(mapped, nullptr, mode, nullptr, 0, &root)
                    : StgOpenStorage(m_strPath.c_str(), nullptr, mode, nullptr, 0, &root);
    }
    ThrowIfFailed(hr);
    IStoragePtr opened(root, false);

    STATSTG stat = {};
    ThrowIfFailed(opened->Stat(&stat, STATFLAG_NONAME));
    m_pRoot = opened;
    m_nStateBits = stat.grfStateBits | bitsOnDisk;
}

IStorage* CCompFile::Root()
{
    if (!m_bOpen)
        ThrowComError(E_FAIL);
    if (!m_pRoot)
        OpenRoot(m_nStateBits);
    return m_pRoot;
}

// Checks the image and reads the root's state bits from its bytes, before the
// platform holds the file (perhaps exclusively) and walks its links.
DWORD CCompFile::InspectImage()
{
    HGLOBAL block = nullptr;
    if (m_pLockBytes && FAILED(GetHGlobalFromILockBytes(m_pLockBytes, &block)))
        return 0;
    std::unique_ptr<CImageReader> image;
    if (block != nullptr)
        image.reset(new CMemoryImageReader(block));
    else
        image.reset(new CFileImageReader(m_strPath));
    if (!image->IsOpen())
        return 0; // the platform's open reports why

    ULONGLONG size = image->Size();
    FILETIME written = {};
    if (block == nullptr)
        static_cast<CFileImageReader*>(image.get())->Identity(size, written);
    const bool unchanged = m_bChecked && size == m_nCheckedSize &&
                           CompareFileTime(&written, &m_checkedWriteTime) == 0;
    if (!unchanged) {
        m_pReader.reset();
        std::wstring problem;
        SCompoundLayout layout;
        if (!CheckCompoundImage(*image, problem, &layout)) {
            SetupTrace(L"Package \"%s\" is damaged: %s", block != nullptr ? L"(memory)" : m_strPath.c_str(),
                       problem.c_str());
            ThrowComError(STG_E_DOCFILECORRUPT);
        }
        m_bChecked = true;
        m_nCheckedSize = size;
        m_checkedWriteTime = written;
        if (IsReadOnly())
            m_pReader.reset(new CCompoundReader(std::move(layout)));
    }
    DWORD bits = 0;
    ReadRootStateBits(*image, bits);
    // Streams of a file that is only read are then read from the same handle.
    if (m_pReader)
        m_pImage = std::move(image);
    return bits;
}

void CCompFile::Close()
{
    m_pImage.reset();
    m_bOpen = false;
    if (!m_pRoot)
        return;
    m_pRoot = nullptr;
    KeepStateBitsOnDisk();
}

void CCompFile::KeepStateBitsOnDisk()
{
    if (m_strPath.empty() || m_nStateBits == 0 || (m_nMode & (STGM_WRITE | STGM_READWRITE)) == 0)
        return;
    DWORD bitsOnDisk = 0;
    if (ReadRootStateBits(m_strPath, bitsOnDisk) && (bitsOnDisk & m_nStateBits) != m_nStateBits)
        WriteRootStateBits(m_strPath, bitsOnDisk | m_nStateBits);
}

void CCompFile::CommitRoot()
{
    ThrowIfFailed(Root()->Commit(STGC_ONLYIFCURRENT));
}

void CCompFile::SplitPath(const std::wstring& path, std::vector<std::wstring>& storages, std::wstring& name)
{
    storages.clear();
    const size_t npos = std::wstring::npos;
    size_t position = 0;
    for (;;) {
        std::wstring token;
        const size_t start = position == npos ? npos : path.find(L'\\', position);
        if (start == npos) {
            position = npos;
        } else {
            const size_t next = path.find(L'\\', start + 1);
            const size_t end = next == npos ? path.size() : next;
            token = path.substr(start + 1, end - start - 1);
            position = end;
        }
        // The last component names the element; one trailing backslash is ignored.
        if (token.empty() || position >= path.size() - 1) {
            name = token;
            return;
        }
        storages.push_back(token);
    }
}

CCompFile::SWalk CCompFile::Walk(const std::wstring& path, bool create)
{
    SWalk walk;
    walk.storages.push_back(Root());
    std::vector<std::wstring> tokens;
    SplitPath(path, tokens, walk.name);
    for (const std::wstring& token : tokens) {
        IStorage* storage = nullptr;
        HRESULT hr = walk.Parent()->OpenStorage(token.c_str(), nullptr, (m_nMode & STGM_READWRITE) | STGM_SHARE_EXCLUSIVE,
                                                nullptr, 0, &storage);
        if (hr == STG_E_FILENOTFOUND && create) {
            hr = walk.Parent()->CreateStorage(token.c_str(), kModeReadWrite, 0, 0, &storage);
            IStoragePtr created(storage, false);
            ThrowIfFailed(hr);
            CommitRoot();
            walk.storages.push_back(created);
            continue;
        }
        IStoragePtr opened(storage, false);
        ThrowIfFailed(hr);
        walk.storages.push_back(opened);
    }
    return walk;
}

ElementList CCompFile::Enumerate(const std::wstring& path)
{
    const SWalk walk = Walk(path, false);
    IStoragePtr folder = walk.Parent();
    if (!walk.name.empty()) {
        IStorage* storage = nullptr;
        const HRESULT hr = walk.Parent()->OpenStorage(walk.name.c_str(), nullptr,
                                                      (m_nMode & STGM_READWRITE) | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage);
        folder.Attach(storage);
        ThrowIfFailed(hr);
    }

    IEnumSTATSTG* enumerator = nullptr;
    HRESULT hr = folder->EnumElements(0, nullptr, 0, &enumerator);
    IEnumSTATSTGPtr elements(enumerator, false);
    ThrowIfFailed(hr);
    IMalloc* allocator = nullptr;
    ThrowIfFailed(CoGetMalloc(1, &allocator));
    IMallocPtr taskAllocator(allocator, false);

    ElementList list;
    // Names are unique within a storage: one seen again means a directory that
    // loops, and listing on would never end.
    std::set<std::wstring> seen;
    for (;;) {
        STATSTG stat = {};
        ULONG fetched = 0;
        if (elements->Next(1, &stat, &fetched) != S_OK)
            break;
        const std::wstring name = stat.pwcsName != nullptr ? stat.pwcsName : L"";
        taskAllocator->Free(stat.pwcsName);
        if (name.empty())
            continue;
        if (!seen.insert(name).second)
            ThrowComError(STG_E_DOCFILECORRUPT);
        if (stat.type == STGTY_STORAGE)
            list.emplace_back(ElementStorage, name);
        else if (stat.type == STGTY_STREAM)
            list.emplace_back(ElementStream, name);
    }
    return list;
}

// The walk holds the stream's parents: a stream whose parent is released
// reads nothing more.
IStreamPtr CCompFile::OpenElementStream(const std::wstring& path, SWalk& walk, DWORD& length)
{
    walk = Walk(path, false);
    IStream* opened = nullptr;
    const HRESULT hr = walk.Parent()->OpenStream(walk.name.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &opened);
    IStreamPtr stream(opened, false);
    ThrowIfFailed(hr);

    STATSTG stat = {};
    ThrowIfFailed(stream->Stat(&stat, STATFLAG_NONAME));
    length = WholeStreamSize(stat.cbSize);
    return stream;
}

void CCompFile::ReadWhole(IStream* stream, BYTE* bytes, DWORD length)
{
    ULONG read = 0;
    ThrowIfFailed(stream->Read(bytes, length, &read));
    // A stream whose chain ends early is damaged: never hand out part of a file.
    if (read != length)
        ThrowComError(STG_E_READFAULT);
}

std::unique_ptr<BYTE[]> CCompFile::ReadStream(const std::wstring& path, DWORD& size)
{
    size = 0;
    // A package that is only read: from its own tables, as OpenStream reads.
    DWORD entry = 0;
    DWORD length = 0;
    if (FindDirect(path, entry, length)) {
        std::unique_ptr<BYTE[]> bytes = AllocateBytes(length);
        m_pReader->ReadStream(*m_pImage, entry, bytes.get(), length);
        TransformInPlace(bytes.get(), length);
        size = length;
        return bytes;
    }
    SWalk walk;
    const IStreamPtr stream = OpenElementStream(path, walk, length);
    std::unique_ptr<BYTE[]> bytes = AllocateBytes(length);
    ReadWhole(stream, bytes.get(), length);
    DWORD result = length;
    Transform(bytes, result);
    size = result;
    return bytes;
}

DWORD CCompFile::WriteStream(const std::wstring& path, const BYTE* bytes, DWORD size)
{
    const SWalk walk = Walk(path, true);
    IStream* opened = nullptr;
    HRESULT hr = walk.Parent()->OpenStream(walk.name.c_str(), nullptr, kModeReadWrite, 0, &opened);
    bool created = false;
    if (hr == STG_E_FILENOTFOUND) {
        hr = walk.Parent()->CreateStream(walk.name.c_str(), kModeReadWrite, 0, 0, &opened);
        created = true;
    }
    IStreamPtr stream(opened, false);
    ThrowIfFailed(hr);
    if (created)
        CommitRoot();

    // The caller's bytes stay as they are: the transform works on a copy.
    std::unique_ptr<BYTE[]> copy = AllocateBytes(size);
    if (size != 0)
        std::memcpy(copy.get(), bytes, size);
    DWORD length = size;
    Transform(copy, length);

    LARGE_INTEGER start = {};
    ThrowIfFailed(stream->Seek(start, STREAM_SEEK_SET, nullptr));
    ULONG written = 0;
    ThrowIfFailed(stream->Write(copy.get(), length, &written));
    if (written != length)
        ThrowComError(STG_E_MEDIUMFULL);
    ULARGE_INTEGER newSize;
    newSize.QuadPart = written;
    ThrowIfFailed(stream->SetSize(newSize));
    CommitRoot();
    return written;
}

DWORD CCompFile::WriteFromStream(const std::wstring& path, IStream* source)
{
    if (source == nullptr)
        ThrowComError(E_POINTER);
    STATSTG stat = {};
    ThrowIfFailed(source->Stat(&stat, STATFLAG_NONAME));
    const DWORD length = WholeStreamSize(stat.cbSize);
    std::unique_ptr<BYTE[]> bytes = AllocateBytes(length);
    LARGE_INTEGER start = {};
    ThrowIfFailed(source->Seek(start, STREAM_SEEK_SET, nullptr));
    ULONG read = 0;
    ThrowIfFailed(source->Read(bytes.get(), length, &read));
    return WriteStream(path, bytes.get(), read);
}

// A stream over a new movable block of 'size' bytes that 'fill' writes and the
// transform deciphers in place: no second buffer and no copies per file.
template <typename Fill>
IStreamPtr CCompFile::BlockStream(DWORD size, Fill fill) const
{
    Tools::CGlobalMemory block(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block.IsValid())
        ThrowComError(E_OUTOFMEMORY);
    if (size != 0) {
        const Tools::CGlobalLock locked(block.Get());
        BYTE* data = static_cast<BYTE*>(locked.Data());
        if (data == nullptr)
            ThrowComError(E_OUTOFMEMORY);
        fill(data);
        TransformInPlace(data, size);
    }
    IStream* stream = nullptr;
    ThrowIfFailed(CreateStreamOnHGlobal(block.Get(), TRUE, &stream));
    // The stream frees the block from here on.
    block.Release();
    return IStreamPtr(stream, false);
}

bool CCompFile::FindDirect(const std::wstring& path, DWORD& entry, DWORD& size) const
{
    if (!m_bOpen)
        ThrowComError(E_FAIL);
    if (!m_pReader || !m_pImage)
        return false;
    std::vector<std::wstring> storages;
    std::wstring name;
    SplitPath(path, storages, name);
    const CCompoundReader::EFound found = m_pReader->FindStream(storages, name, entry);
    if (found == CCompoundReader::kAskPlatform)
        return false;
    if (found == CCompoundReader::kNotFound)
        ThrowComError(STG_E_FILENOTFOUND);
    ULARGE_INTEGER streamSize;
    streamSize.QuadPart = m_pReader->StreamSize(entry);
    size = WholeStreamSize(streamSize);
    return true;
}

IStreamPtr CCompFile::OpenStreamDirect(const std::wstring& path, DWORD limit)
{
    DWORD entry = 0;
    DWORD size = 0;
    if (!FindDirect(path, entry, size) || size > limit)
        return IStreamPtr();
    return BlockStream(size, [&](BYTE* data) { m_pReader->ReadStream(*m_pImage, entry, data, size); });
}

IStreamPtr CCompFile::OpenStream(const std::wstring& path)
{
    try {
        // A package that is only read: its own tables find and read the stream,
        // as the platform would, without a walk of the directory per open.
        IStreamPtr direct = OpenStreamDirect(path);
        if (direct)
            return direct;
        DWORD size = 0;
        SWalk walk;
        const IStreamPtr element = OpenElementStream(path, walk, size);
        return BlockStream(size, [&](BYTE* data) { ReadWhole(element, data, size); });
    } catch (const _com_error& error) {
        SetupTrace(L"Package stream \"%s\" cannot be opened: 0x%08X", path.c_str(), static_cast<unsigned>(error.Error()));
        return IStreamPtr();
    }
}

void CCompFile::Transform(std::unique_ptr<BYTE[]>& bytes, DWORD& size) const
{
    if ((m_nStateBits & kStateBitTransform) == 0 || m_pTransform == nullptr || m_strKey.empty())
        return;
    const std::string key = KeyBytes(m_strKey);
    const DWORD keyLength = static_cast<DWORD>(m_strKey.size());
    const BYTE* keyBytes = reinterpret_cast<const BYTE*>(key.data());
    const DWORD length = m_pTransform(keyBytes, keyLength, bytes.get(), size, nullptr, 0);
    if (length == 0)
        return;
    std::unique_ptr<BYTE[]> output = AllocateBytes(length);
    const DWORD result = m_pTransform(keyBytes, keyLength, bytes.get(), length, output.get(), length);
    bytes = std::move(output);
    size = result;
}

// The transform is RC4, which reads each byte before it writes it: the
// buffer is both its input and its output.
void CCompFile::TransformInPlace(BYTE* bytes, DWORD size) const
{
    if ((m_nStateBits & kStateBitTransform) == 0 || m_pTransform == nullptr || m_strKey.empty())
        return;
    const std::string key = KeyBytes(m_strKey);
    const DWORD keyLength = static_cast<DWORD>(m_strKey.size());
    m_pTransform(reinterpret_cast<const BYTE*>(key.data()), keyLength, bytes, size, bytes, size);
}

} // namespace OLETools
} // namespace Common
