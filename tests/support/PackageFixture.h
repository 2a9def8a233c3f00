// Builds install packages and temporary folders for tests.
#pragma once

#include "tools/cfsbuild/PackageBuilder.h"

#include "common/tools/ComSupport.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace TestSupport {

typedef std::vector<BYTE> Bytes;

Bytes ToBytes(const std::string& text);
// Bytes with a regular pattern (they pack well).
Bytes Pattern(size_t size, unsigned seed);
// Pseudo-random bytes (they do not pack).
Bytes Noise(size_t size, DWORD seed);
// The data followed by a packed-stream trailer that states 'size' unpacked
// bytes, with a correct checksum, whatever the data are.
Bytes WithPackedTrailer(Bytes data, DWORD size);
// Everything left to read in the stream.
Bytes StreamContent(IStream* stream);
// The HRESULT of the _com_error the body raises, or S_OK.
HRESULT ComErrorOf(const std::function<void()>& body);
Bytes ReadFileBytes(const std::wstring& path);
// Removes the folder with everything below it, read-only and hidden files too.
void RemoveTree(const std::wstring& folder);
// Writes the file, making the folders on its way.
void WriteFileBytes(const std::wstring& path, const Bytes& bytes);

// A folder of its own under %TEMP%, removed with its content on destruction.
class CTempFolder
{
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::wstring& Path() const { return m_strPath; }
    std::wstring operator/(const std::wstring& relative) const { return m_strPath + L"\\" + relative; }

private:
    std::wstring m_strPath;
};

// COM for the calling thread, for the lifetime of the object.
class CComScope
{
public:
    CComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~CComScope() { CoUninitialize(); }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;
};

// Package files by backslash path below the root ("setup.xml", "images\logo.png").
typedef std::map<std::wstring, Bytes> PackageFiles;

// Lays the files out in a fresh folder under 'temp' and builds 'name' from it with
// the package builder. Gives the package's path; a failed build fails the test.
std::wstring MakePackage(const CTempFolder& temp, const PackageFiles& files, const PackageTools::SBuildOptions& options,
                         const std::wstring& name = L"package.cfs");

// A movable global block holding the bytes, freed on destruction.
class CGlobalBlock
{
public:
    explicit CGlobalBlock(const Bytes& bytes);
    ~CGlobalBlock();
    CGlobalBlock(const CGlobalBlock&) = delete;
    CGlobalBlock& operator=(const CGlobalBlock&) = delete;
    HGLOBAL Get() const { return m_hBlock; }

private:
    HGLOBAL m_hBlock;
};

// The bytes of a compound file, read and patched as the published format lays
// them out: for damaging packages in ways no writer would.
class CCompoundImage
{
public:
    explicit CCompoundImage(Bytes bytes) : m_bytes(std::move(bytes)) {}

    Bytes& Data() { return m_bytes; }
    DWORD Dword(size_t offset) const;
    void SetDword(size_t offset, DWORD value);

    size_t SectorSize() const;
    size_t SectorOffset(DWORD sector) const;
    // Offset of the first directory entry of that name and type (1 storage, 2
    // stream, 5 root), found among the 128-byte entries of every sector.
    size_t FindEntry(const std::wstring& name, BYTE type) const;
    size_t RootEntry() const { return FindEntry(L"Root Entry", 5); }
    // Renames an entry in place (at most 31 characters).
    void SetEntryName(size_t entry, const std::wstring& name);
    // Offset of the FAT cell of a sector (sectors listed in the header's DIFAT only).
    size_t FatCell(DWORD sector) const;

    static const size_t kEntryLeft = 0x44;
    static const size_t kEntryRight = 0x48;
    static const size_t kEntryChild = 0x4C;
    static const size_t kEntryStateBits = 0x60;
    static const size_t kEntryStart = 0x74;
    static const size_t kEntrySize = 0x78;

private:
    Bytes m_bytes;
};

} // namespace TestSupport
