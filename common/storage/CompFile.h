// The install package as a compound file: streams read and written whole.
#pragma once

#include <windows.h>
#include "common/storage/CompoundReader.h"
#include "common/storage/ImageReader.h"
#include "common/tools/ComSupport.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace Common {
namespace OLETools {

// The byte transform of stream contents: (key, key length, input, input length,
// output, output length), giving the length of its output; called with no output
// first to learn that length.
typedef DWORD (*TransformHook)(const BYTE* key, DWORD keyLength, const BYTE* input, DWORD inputLength, BYTE* output,
                               DWORD outputLength);

enum EElementKind
{
    ElementStorage = 0,
    ElementStream = 1,
};

typedef std::pair<EElementKind, std::wstring> Element;
typedef std::vector<Element> ElementList;

// STGM modes of the package and its parts.
const DWORD kModeReadOnly = STGM_READ | STGM_SHARE_DENY_WRITE;      // 0x20
const DWORD kModeReadWrite = STGM_READWRITE | STGM_SHARE_EXCLUSIVE; // 0x12

// Whole-stream access to one structured-storage file on disk or in a memory block,
// addressed by backslash paths ("\setup.xml", "\images\logo.png"). The streams of a
// file whose root carries state bit 0 pass through the RC4 transform; files created
// here always carry it. Every operation raises _com_error on failure, except
// OpenStream. The file is open only between Open and Close; one that is only read
// is read from its own tables, and the platform's storage is opened in that time
// only for what they leave to it.
class CCompFile
{
public:
    static const wchar_t* const Key;

    CCompFile(const std::wstring& path, bool create, DWORD mode);
    explicit CCompFile(HGLOBAL block); // the block stays the caller's
    ~CCompFile();
    CCompFile(const CCompFile&) = delete;
    CCompFile& operator=(const CCompFile&) = delete;

    void Open();
    void Close();
    bool IsOpen() const { return m_bOpen; }

    ElementList Enumerate(const std::wstring& path);
    std::unique_ptr<BYTE[]> ReadStream(const std::wstring& path, DWORD& size);
    DWORD WriteStream(const std::wstring& path, const BYTE* bytes, DWORD size);
    DWORD WriteFromStream(const std::wstring& path, IStream* source);
    // A copy of the content over a movable global block, or null on any failure.
    IStreamPtr OpenStream(const std::wstring& path);
    // OpenStream from the file's own tables alone, without a trace: null when only
    // the platform can read the stream or it is larger than 'limit'; raises
    // _com_error when it cannot be read.
    IStreamPtr OpenStreamDirect(const std::wstring& path, DWORD limit = MAXDWORD);

    DWORD GetStateBits() const { return m_nStateBits; }

private:
    struct SWalk
    {
        std::vector<IStoragePtr> storages; // the root first, the element's parent last
        std::wstring name;
        IStorage* Parent() const { return storages.back(); }
    };

    // The storages on the way to the element and its name, as Walk follows them.
    static void SplitPath(const std::wstring& path, std::vector<std::wstring>& storages, std::wstring& name);
    SWalk Walk(const std::wstring& path, bool create);
    // The platform's root storage, opened on first use by an open file that is
    // only read (its own tables serve its streams), at once by any other.
    IStorage* Root();
    void OpenRoot(DWORD bitsOnDisk);
    // Finds the stream in the file's own tables: its entry and size, or false
    // when only the platform can tell. Raises when it is not there.
    bool FindDirect(const std::wstring& path, DWORD& entry, DWORD& size) const;
    template <typename Fill>
    IStreamPtr BlockStream(DWORD size, Fill fill) const;
    bool IsReadOnly() const { return (m_nMode & (STGM_WRITE | STGM_READWRITE)) == 0; }
    IStreamPtr OpenElementStream(const std::wstring& path, SWalk& walk, DWORD& length);
    static void ReadWhole(IStream* stream, BYTE* bytes, DWORD length);
    void Transform(std::unique_ptr<BYTE[]>& bytes, DWORD& size) const;
    void TransformInPlace(BYTE* bytes, DWORD size) const;
    void CommitRoot();
    void KeepStateBitsOnDisk();
    DWORD InspectImage();

    ILockBytesPtr m_pLockBytes;
    IStoragePtr m_pRoot;
    bool m_bOpen = false;
    std::wstring m_strKey;
    DWORD m_nStateBits = 0;
    std::wstring m_strPath;
    DWORD m_nMode;
    TransformHook m_pTransform;
    // The image last found sound, so that an unchanged file is not checked again.
    bool m_bChecked = false;
    ULONGLONG m_nCheckedSize = 0;
    FILETIME m_checkedWriteTime = {};
    // For a file that is only read: its tables, from the last check, and its bytes
    // while the root is open.
    std::unique_ptr<CCompoundReader> m_pReader;
    std::unique_ptr<CImageReader> m_pImage;
};

} // namespace OLETools
} // namespace Common
