// Checks a compound file's structure before it is opened.
#include "common/storage/CompoundCheck.h"

#include "common/storage/CompoundFormat.h"

#include <cstring>
#include <vector>

namespace Common {
namespace OLETools {

namespace {

using namespace Cfb;

// A chain table (the FAT or the mini FAT) with the number of sectors it may name.
struct SChainTable
{
    std::vector<DWORD> next;
    DWORD sectors = 0;
    std::vector<DWORD> stamps; // the walk that last passed each sector
    DWORD walk = 0;
};

class CChecker
{
public:
    CChecker(CImageReader& image, std::wstring& problem) : m_image(image), m_problem(problem) {}

    bool Check()
    {
        BYTE header[kHeaderSize];
        if (!m_image.Read(0, header, sizeof(header)) || std::memcmp(header, kSignature, sizeof(kSignature)) != 0)
            return Fail(L"not a compound file");
        WORD shift = 0;
        if (!IsKnownHeader(header, shift) || Word(header + 0x20) != 6 || Dword(header + 0x38) != kMiniStreamCutoff)
            return Fail(L"unknown header");
        m_nShift = shift;
        m_bVersion4 = shift == 12;
        m_nSectorSize = 1u << m_nShift;
        const ULONGLONG wholeSectors = m_image.Size() >> m_nShift;
        if (wholeSectors < 1)
            return Fail(L"shorter than its header");
        m_fat.sectors = static_cast<DWORD>(wholeSectors - 1 > 0xFFFFFFF0ULL ? 0xFFFFFFF0ULL : wholeSectors - 1);

        return ReadFat(header) && ReadDirectory(header) && ReadMiniStream(header) && CheckTree();
    }

    void TakeLayout(SCompoundLayout& layout)
    {
        layout.shift = m_nShift;
        layout.version4 = m_bVersion4;
        layout.fat = std::move(m_fat.next);
        layout.fatSectors = m_fat.sectors;
        layout.miniFat = std::move(m_miniFat.next);
        layout.miniSectors = m_miniFat.sectors;
        layout.miniStream = std::move(m_miniStream);
        layout.directory = std::move(m_directory);
    }

private:
    bool Fail(const wchar_t* problem)
    {
        m_problem = problem;
        return false;
    }

    bool ReadSector(DWORD sector, BYTE* buffer)
    {
        return m_image.Read((static_cast<ULONGLONG>(sector) + 1) << m_nShift, buffer, m_nSectorSize);
    }

    bool ReadFat(const BYTE* header)
    {
        const DWORD fatSectors = Dword(header + 0x2C);
        if (fatSectors > m_fat.sectors)
            return Fail(L"more FAT sectors than the file holds");
        std::vector<DWORD> list;
        for (DWORD i = 0; i < kHeaderFatEntries && list.size() < fatSectors; ++i)
            list.push_back(Dword(header + 0x4C + i * 4));

        // The rest of the list is chained through DIFAT sectors.
        const DWORD perSector = m_nSectorSize / 4;
        std::vector<BYTE> buffer(m_nSectorSize);
        std::vector<bool> seen(m_fat.sectors, false);
        for (DWORD sector = Dword(header + 0x44); list.size() < fatSectors;) {
            if (sector >= m_fat.sectors || seen[sector] || !ReadSector(sector, buffer.data()))
                return Fail(L"broken DIFAT chain");
            seen[sector] = true;
            for (DWORD i = 0; i + 1 < perSector && list.size() < fatSectors; ++i)
                list.push_back(Dword(&buffer[i * 4]));
            sector = Dword(&buffer[(perSector - 1) * 4]);
        }

        m_fat.next.resize(static_cast<size_t>(fatSectors) * perSector);
        for (DWORD i = 0; i < fatSectors; ++i) {
            if (list[i] >= m_fat.sectors ||
                !ReadSector(list[i], reinterpret_cast<BYTE*>(&m_fat.next[static_cast<size_t>(i) * perSector])))
                return Fail(L"FAT sector outside the file");
        }
        m_fat.stamps.assign(m_fat.sectors, 0);
        return true;
    }

    // Follows a chain to its end; false when it leaves the table or loops.
    bool Walk(SChainTable& table, DWORD start, std::vector<DWORD>* sectors, const wchar_t* problem)
    {
        ++table.walk;
        for (DWORD sector = start; sector != kEndOfChain; sector = table.next[sector]) {
            if (sector >= table.sectors || sector >= table.next.size() || table.stamps[sector] == table.walk)
                return Fail(problem);
            table.stamps[sector] = table.walk;
            if (sectors != nullptr)
                sectors->push_back(sector);
        }
        return true;
    }

    bool ReadChain(DWORD start, std::vector<BYTE>& bytes, const wchar_t* problem)
    {
        std::vector<DWORD> sectors;
        if (!Walk(m_fat, start, &sectors, problem))
            return false;
        bytes.resize(sectors.size() * static_cast<size_t>(m_nSectorSize));
        for (size_t i = 0; i < sectors.size(); ++i) {
            if (!ReadSector(sectors[i], &bytes[i * m_nSectorSize]))
                return Fail(problem);
        }
        return true;
    }

    bool ReadDirectory(const BYTE* header)
    {
        if (!ReadChain(Dword(header + 0x30), m_directory, L"broken directory chain"))
            return false;
        m_nEntries = static_cast<DWORD>(m_directory.size() / kEntrySize);
        if (m_nEntries == 0 || m_directory[kEntryType] != EntryRoot)
            return Fail(L"no root entry");
        return true;
    }

    bool ReadMiniStream(const BYTE* header)
    {
        const DWORD miniFatStart = Dword(header + 0x3C);
        std::vector<BYTE> miniFat;
        if (miniFatStart != kEndOfChain && !ReadChain(miniFatStart, miniFat, L"broken mini FAT chain"))
            return false;
        m_miniFat.next.resize(miniFat.size() / 4);
        if (!miniFat.empty())
            std::memcpy(m_miniFat.next.data(), miniFat.data(), miniFat.size());

        std::vector<DWORD>& sectors = m_miniStream;
        const DWORD miniStreamStart = Dword(&m_directory[kEntryStart]);
        if (miniStreamStart != kNoStream && !Walk(m_fat, miniStreamStart, &sectors, L"broken mini stream chain"))
            return false;
        const ULONGLONG miniSectors = static_cast<ULONGLONG>(sectors.size()) * (m_nSectorSize / kMiniSectorSize);
        m_miniFat.sectors = static_cast<DWORD>(miniSectors > 0xFFFFFFF0ULL ? 0xFFFFFFF0ULL : miniSectors);
        m_miniFat.stamps.assign(m_miniFat.sectors, 0);
        return true;
    }

    bool CheckTree()
    {
        std::vector<bool> seen(m_nEntries, false);
        seen[0] = true;
        std::vector<DWORD> pending{Dword(&m_directory[kEntryChild])};
        while (!pending.empty()) {
            const DWORD id = pending.back();
            pending.pop_back();
            if (id == kNoStream)
                continue;
            if (id >= m_nEntries || seen[id])
                return Fail(L"directory tree leaves the directory or loops");
            seen[id] = true;
            const BYTE* entry = &m_directory[static_cast<size_t>(id) * kEntrySize];
            const BYTE type = entry[kEntryType];
            if ((type != EntryStorage && type != EntryStream) || Word(entry + kEntryNameLength) > 64)
                return Fail(L"unusable directory entry");
            pending.push_back(Dword(entry + kEntryLeft));
            pending.push_back(Dword(entry + kEntryRight));
            if (type == EntryStorage) {
                pending.push_back(Dword(entry + kEntryChild));
                continue;
            }
            // Version 3 files keep only the low 32 bits of a stream's size.
            const ULONGLONG size = m_bVersion4 ? (static_cast<ULONGLONG>(Dword(entry + kEntrySize64 + 4)) << 32) | Dword(entry + kEntrySize64)
                                               : Dword(entry + kEntrySize64);
            if (size == 0)
                continue;
            const DWORD start = Dword(entry + kEntryStart);
            if (size < kMiniStreamCutoff ? !Walk(m_miniFat, start, nullptr, L"broken mini stream of a stream")
                                         : !Walk(m_fat, start, nullptr, L"broken chain of a stream"))
                return false;
        }
        return true;
    }

    CImageReader& m_image;
    std::wstring& m_problem;
    DWORD m_nShift = 9;
    DWORD m_nSectorSize = 512;
    bool m_bVersion4 = false;
    SChainTable m_fat;
    SChainTable m_miniFat;
    std::vector<BYTE> m_directory;
    std::vector<DWORD> m_miniStream;
    DWORD m_nEntries = 0;
};

} // namespace

bool CheckCompoundImage(CImageReader& image, std::wstring& problem, SCompoundLayout* layout)
{
    if (!image.IsOpen())
        return false;
    CChecker checker(image, problem);
    if (!checker.Check())
        return false;
    if (layout != nullptr)
        checker.TakeLayout(*layout);
    return true;
}

} // namespace OLETools
} // namespace Common
