// Reads the streams of a checked, read-only package straight from its bytes.
#pragma once

#include "common/storage/CompoundCheck.h"
#include "common/storage/ImageReader.h"

#include <windows.h>

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace Common {
namespace OLETools {

// Finds and reads whole streams of a checked compound file straight from its
// bytes, for a file that is only read. The platform's storage finds an element
// by walking the directory's search tree, reading one entry at a time, and a
// package whose names were added in order has a tree that is one long branch:
// every open then costs time in proportion to the size of its folder. Here each
// storage's names are indexed once, on first use.
//
// The element found is the one the platform's tree search finds: a storage whose
// tree is not in search order, or whose names the platform might compare
// differently (not plain ASCII, no terminator), is not indexed, and the caller
// asks the platform instead. The bytes read follow the same chains.
class CCompoundReader
{
public:
    explicit CCompoundReader(SCompoundLayout&& layout);
    CCompoundReader(const CCompoundReader&) = delete;
    CCompoundReader& operator=(const CCompoundReader&) = delete;

    enum EFound
    {
        kFound,
        kNotFound,     // the platform's walk would fail with STG_E_FILENOTFOUND
        kAskPlatform,  // not indexed: only the platform's own walk can say
    };
    // The stream below the storages on the way (from the root), by name.
    EFound FindStream(const std::vector<std::wstring>& storages, const std::wstring& name, DWORD& entry);
    ULONGLONG StreamSize(DWORD entry) const;
    // The stream's first 'length' bytes; raises STG_E_READFAULT when its chain
    // ends early or leaves the file.
    void ReadStream(CImageReader& image, DWORD entry, BYTE* bytes, DWORD length) const;

private:
    struct SIndex
    {
        bool usable = false;
        std::unordered_map<std::wstring, DWORD> children; // by upper-case name
    };

    EFound FindChild(DWORD storage, const std::wstring& name, DWORD& child);
    const SIndex& IndexOf(DWORD storage);
    bool EntryName(DWORD entry, std::wstring& name) const;
    const BYTE* Entry(DWORD entry) const;
    // Reads the byte runs, one read for each run of adjacent sectors.
    void ReadRuns(CImageReader& image, const std::vector<std::pair<ULONGLONG, DWORD>>& runs, BYTE* bytes) const;

    SCompoundLayout m_layout;
    DWORD m_nEntries = 0;
    std::map<DWORD, SIndex> m_indexes;
};

} // namespace OLETools
} // namespace Common
