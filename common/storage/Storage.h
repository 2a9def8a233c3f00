// Serialised access to one compound file, reopened for each operation.
#pragma once

#include "common/storage/CompFile.h"
#include "common/storage/IFileLoader.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace Common {
namespace Storage {

// Serialised access to one compound file, reopened for each operation so that no
// storage handle stays open between them, except while held.
class CStorage : public Config::IFileLoader
{
public:
    // While one lives, the file opened by the first operation stays open for the
    // next ones instead of being reopened (checked, opened, its state bits read)
    // for each: a step that reads one stream per installed file. The file is
    // closed when the last one goes. An operation that fails still closes it, so
    // that the next one reopens and reports as it would without the hold.
    class CHold
    {
    public:
        explicit CHold(CStorage& storage);
        ~CHold();
        CHold(const CHold&) = delete;
        CHold& operator=(const CHold&) = delete;

    private:
        CStorage& m_storage;
    };

    CStorage();
    ~CStorage() override;
    CStorage(const CStorage&) = delete;
    CStorage& operator=(const CStorage&) = delete;

    // Takes the file (read-only: shared for reading; else exclusive, created when
    // 'create' is set). False when it is not a usable compound file.
    bool Open(const std::wstring& path, bool readOnly, bool create);
    // The block stays the caller's and must outlive the storage.
    bool OpenFromMemory(HGLOBAL block);

    std::unique_ptr<BYTE[]> LoadFile(const std::wstring& name, DWORD& size) override;
    IStreamPtr OpenStream(const std::wstring& name) override;
    // OpenStream for a reader on another thread while a hold keeps the file open:
    // it neither opens nor closes the file and writes no trace. Null when it
    // cannot read the stream so (the file is not open, only the platform can read
    // it, or it is over 'limit' bytes); raises _com_error when the read fails.
    IStreamPtr OpenStreamAhead(const std::wstring& name, DWORD limit);
    void SaveStream(const std::wstring& name, IStream* stream) override;

    // Every stream under the folder, depth first in enumeration order, as the
    // folder's path, a backslash and the names on the way. Elements whose names
    // could not stand as one file name are left out.
    bool ListFiles(const std::wstring& folder, std::vector<std::wstring>& files);

    // The stream transform: RC4 with the key when there is room for the output.
    // Always gives the input length.
    static DWORD TransformBytes(const BYTE* key, DWORD keyLength, const BYTE* input, DWORD inputLength, BYTE* output,
                                DWORD outputLength);

protected:
    // Opens the file for an operation, unless a hold keeps it open already; the
    // matching close leaves it open while held.
    void OpenForOperation();
    void CloseAfterOperation();

    CRITICAL_SECTION m_lock;
    std::unique_ptr<OLETools::CCompFile> m_pFile;
    int m_nHolds = 0;
};

// Appends a backslash unless the path ends in one.
std::wstring AppendSeparator(const std::wstring& path);

} // namespace Storage
} // namespace Common
