// Reads the streams of a checked, read-only package straight from its bytes.
#include "common/storage/CompoundReader.h"

#include "common/storage/CompoundFormat.h"
#include "common/tools/ComError.h"

#include <algorithm>
#include <utility>

namespace Common {
namespace OLETools {

using namespace Cfb;
using Tools::ThrowComError;

namespace {

const DWORD kNameChars = 32;

bool IsPlainAscii(const std::wstring& name)
{
    return std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; });
}

// The platform's order of names: the shorter first, then by upper-case letters.
// On plain ASCII names its upper case is this one.
std::wstring UpperAscii(const std::wstring& name)
{
    std::wstring upper = name;
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    return upper;
}

bool Precedes(const std::wstring& upperFirst, const std::wstring& upperSecond)
{
    if (upperFirst.size() != upperSecond.size())
        return upperFirst.size() < upperSecond.size();
    return upperFirst < upperSecond;
}

} // namespace

CCompoundReader::CCompoundReader(SCompoundLayout&& layout) : m_layout(std::move(layout))
{
    m_nEntries = static_cast<DWORD>(m_layout.directory.size() / kEntrySize);
}

const BYTE* CCompoundReader::Entry(DWORD entry) const
{
    return &m_layout.directory[static_cast<size_t>(entry) * kEntrySize];
}

bool CCompoundReader::EntryName(DWORD entry, std::wstring& name) const
{
    const BYTE* raw = Entry(entry);
    name.clear();
    for (DWORD i = 0; i < kNameChars; ++i) {
        const wchar_t c = static_cast<wchar_t>(Word(raw + i * 2));
        if (c == L'\0')
            return true;
        name += c;
    }
    return false; // no terminator: the platform would read on past the name
}

const CCompoundReader::SIndex& CCompoundReader::IndexOf(DWORD storage)
{
    auto found = m_indexes.find(storage);
    if (found != m_indexes.end())
        return found->second;
    SIndex& index = m_indexes[storage];

    // The tree in order, which must be the search order for a lookup by name to
    // find what the platform's walk finds.
    std::vector<DWORD> pending;
    std::wstring previous;
    bool first = true;
    DWORD visited = 0;
    DWORD node = Dword(Entry(storage) + kEntryChild);
    while (node != kNoStream || !pending.empty()) {
        while (node != kNoStream) {
            if (node >= m_nEntries || ++visited > m_nEntries)
                return index;
            pending.push_back(node);
            node = Dword(Entry(node) + kEntryLeft);
        }
        node = pending.back();
        pending.pop_back();
        std::wstring name;
        if (!EntryName(node, name) || !IsPlainAscii(name))
            return index;
        const std::wstring upper = UpperAscii(name);
        if (!first && !Precedes(previous, upper))
            return index;
        index.children.emplace(upper, node);
        previous = upper;
        first = false;
        node = Dword(Entry(node) + kEntryRight);
    }
    index.usable = true;
    return index;
}

CCompoundReader::EFound CCompoundReader::FindChild(DWORD storage, const std::wstring& name, DWORD& child)
{
    if (!IsPlainAscii(name))
        return kAskPlatform;
    const SIndex& index = IndexOf(storage);
    if (!index.usable)
        return kAskPlatform;
    const auto found = index.children.find(UpperAscii(name));
    if (found == index.children.end())
        return kNotFound;
    child = found->second;
    return kFound;
}

CCompoundReader::EFound CCompoundReader::FindStream(const std::vector<std::wstring>& storages, const std::wstring& name,
                                                    DWORD& entry)
{
    if (m_nEntries == 0)
        return kAskPlatform;
    DWORD parent = 0;
    for (const std::wstring& storage : storages) {
        DWORD child = 0;
        const EFound found = FindChild(parent, storage, child);
        if (found != kFound)
            return found;
        if (Entry(child)[kEntryType] != EntryStorage)
            return kNotFound;
        parent = child;
    }
    DWORD child = 0;
    const EFound found = FindChild(parent, name, child);
    if (found != kFound)
        return found;
    if (Entry(child)[kEntryType] != EntryStream)
        return kNotFound;
    entry = child;
    return kFound;
}

ULONGLONG CCompoundReader::StreamSize(DWORD entry) const
{
    const BYTE* raw = Entry(entry);
    // Version 3 files keep only the low 32 bits of a stream's size.
    if (!m_layout.version4)
        return Dword(raw + kEntrySize64);
    return (static_cast<ULONGLONG>(Dword(raw + kEntrySize64 + 4)) << 32) | Dword(raw + kEntrySize64);
}

void CCompoundReader::ReadStream(CImageReader& image, DWORD entry, BYTE* bytes, DWORD length) const
{
    if (length == 0)
        return;
    const DWORD sectorSize = 1u << m_layout.shift;
    std::vector<std::pair<ULONGLONG, DWORD>> runs;
    auto addRun = [&runs](ULONGLONG offset, DWORD size) {
        if (!runs.empty() && runs.back().first + runs.back().second == offset)
            runs.back().second += size;
        else
            runs.emplace_back(offset, size);
    };

    DWORD sector = Dword(Entry(entry) + kEntryStart);
    DWORD done = 0;
    if (StreamSize(entry) < kMiniStreamCutoff) {
        // Mini sectors live in the mini stream, itself a chain of sectors; it is
        // read no further than the root entry's size.
        const ULONGLONG miniStreamSize = StreamSize(0);
        while (done < length) {
            if (sector >= m_layout.miniSectors || sector >= m_layout.miniFat.size())
                ThrowComError(STG_E_READFAULT);
            const ULONGLONG offset = static_cast<ULONGLONG>(sector) * kMiniSectorSize;
            const DWORD size = std::min<DWORD>(kMiniSectorSize, length - done);
            const size_t big = static_cast<size_t>(offset >> m_layout.shift);
            if (big >= m_layout.miniStream.size() || offset + size > miniStreamSize)
                ThrowComError(STG_E_READFAULT);
            const ULONGLONG within = offset & (sectorSize - 1);
            addRun(((static_cast<ULONGLONG>(m_layout.miniStream[big]) + 1) << m_layout.shift) + within, size);
            done += size;
            sector = m_layout.miniFat[sector];
        }
    } else {
        while (done < length) {
            if (sector >= m_layout.fatSectors || sector >= m_layout.fat.size())
                ThrowComError(STG_E_READFAULT);
            const DWORD size = std::min(sectorSize, length - done);
            addRun((static_cast<ULONGLONG>(sector) + 1) << m_layout.shift, size);
            done += size;
            sector = m_layout.fat[sector];
        }
    }
    ReadRuns(image, runs, bytes);
}

void CCompoundReader::ReadRuns(CImageReader& image, const std::vector<std::pair<ULONGLONG, DWORD>>& runs,
                               BYTE* bytes) const
{
    for (const auto& run : runs) {
        if (!image.Read(run.first, bytes, run.second))
            ThrowComError(STG_E_READFAULT);
        bytes += run.second;
    }
}

} // namespace OLETools
} // namespace Common
