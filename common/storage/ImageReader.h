// Random access to the bytes of a compound file in a file or in memory.
#pragma once

#include "common/tools/ScopedHandle.h"

#include <windows.h>

#include <string>

namespace Common {
namespace OLETools {

// Random access to the bytes of a compound file, wherever it lives.
class CImageReader
{
public:
    virtual ~CImageReader() = default;
    virtual bool IsOpen() const = 0;
    virtual ULONGLONG Size() const = 0;
    // Exactly 'length' bytes from 'offset', or false.
    virtual bool Read(ULONGLONG offset, void* buffer, DWORD length) = 0;
};

// A file opened for reading, shared with any reader or writer.
class CFileImageReader : public CImageReader
{
public:
    explicit CFileImageReader(const std::wstring& path);
    bool IsOpen() const override { return m_file.IsValid(); }
    ULONGLONG Size() const override { return m_nSize; }
    bool Read(ULONGLONG offset, void* buffer, DWORD length) override;
    // Size and last write time, which change whenever the file does.
    bool Identity(ULONGLONG& size, FILETIME& written) const;

private:
    Tools::CScopedHandle m_file;
    ULONGLONG m_nSize = 0;
};

// A global memory block, locked for the reader's lifetime.
class CMemoryImageReader : public CImageReader
{
public:
    explicit CMemoryImageReader(HGLOBAL block);
    bool IsOpen() const override { return m_pData != nullptr; }
    ULONGLONG Size() const override { return m_nSize; }
    bool Read(ULONGLONG offset, void* buffer, DWORD length) override;

private:
    Tools::CGlobalLock m_lock;
    const BYTE* m_pData;
    ULONGLONG m_nSize;
};

} // namespace OLETools
} // namespace Common
