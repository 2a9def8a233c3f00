// The path variables ("%NAME%") and their values.
#include "common/tools/PathVariables.h"

#include <loki/Singleton.h>

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <cwctype>
#include <string>

namespace {

// In the alphabetical order of the platform constants; where a name repeats, the
// later row wins (so "%FOLDERID_Startup%" is CSIDL_STARTUP, not CSIDL_ALTSTARTUP).
const CPathVariables::SKnownFolder kKnownFolders[CPathVariables::kKnownFolderRows] = {
    {L"%FOLDERID_AdminTools%", 0x30},             // CSIDL_ADMINTOOLS
    {L"%FOLDERID_Startup%", 0x1d},                // CSIDL_ALTSTARTUP
    {L"%FOLDERID_RoamingAppData%", 0x1a},         // CSIDL_APPDATA
    {L"%FOLDERID_RecycleBinFolder%", 0x0a},       // CSIDL_BITBUCKET
    {L"%FOLDERID_CDBurning%", 0x3b},              // CSIDL_CDBURN_AREA
    {L"%FOLDERID_CommonAdminTools%", 0x2f},       // CSIDL_COMMON_ADMINTOOLS
    {L"%FOLDERID_CommonStartup%", 0x1e},          // CSIDL_COMMON_ALTSTARTUP
    {L"%FOLDERID_ProgramData%", 0x23},            // CSIDL_COMMON_APPDATA
    {L"%FOLDERID_PublicDesktop%", 0x19},          // CSIDL_COMMON_DESKTOPDIRECTORY
    {L"%FOLDERID_PublicDocuments%", 0x2e},        // CSIDL_COMMON_DOCUMENTS
    {L"%FOLDERID_Favorites%", 0x1f},              // CSIDL_COMMON_FAVORITES
    {L"%FOLDERID_PublicMusic%", 0x35},            // CSIDL_COMMON_MUSIC
    {L"%FOLDERID_CommonOEMLinks%", 0x3a},         // CSIDL_COMMON_OEM_LINKS
    {L"%FOLDERID_PublicPictures%", 0x36},         // CSIDL_COMMON_PICTURES
    {L"%FOLDERID_CommonPrograms%", 0x17},         // CSIDL_COMMON_PROGRAMS
    {L"%FOLDERID_CommonStartMenu%", 0x16},        // CSIDL_COMMON_STARTMENU
    {L"%FOLDERID_CommonStartup%", 0x18},          // CSIDL_COMMON_STARTUP
    {L"%FOLDERID_CommonTemplates%", 0x2d},        // CSIDL_COMMON_TEMPLATES
    {L"%FOLDERID_PublicVideos%", 0x37},           // CSIDL_COMMON_VIDEO
    {L"%FOLDERID_NetworkFolder%", 0x3d},          // CSIDL_COMPUTERSNEARME
    {L"%FOLDERID_ConnectionsFolder%", 0x31},      // CSIDL_CONNECTIONS
    {L"%FOLDERID_ControlPanelFolder%", 0x03},     // CSIDL_CONTROLS
    {L"%FOLDERID_Cookies%", 0x21},                // CSIDL_COOKIES
    {L"%FOLDERID_Desktop%", 0x00},                // CSIDL_DESKTOP
    {L"%FOLDERID_ComputerFolder%", 0x11},         // CSIDL_DRIVES
    {L"%FOLDERID_Favorites%", 0x06},              // CSIDL_FAVORITES
    {L"%FOLDERID_Fonts%", 0x14},                  // CSIDL_FONTS
    {L"%FOLDERID_History%", 0x22},                // CSIDL_HISTORY
    {L"%FOLDERID_InternetFolder%", 0x01},         // CSIDL_INTERNET
    {L"%FOLDERID_InternetCache%", 0x20},          // CSIDL_INTERNET_CACHE
    {L"%FOLDERID_LocalAppData%", 0x1c},           // CSIDL_LOCAL_APPDATA
    {L"%FOLDERID_Documents%", 0x05},              // CSIDL_MYDOCUMENTS
    {L"%FOLDERID_Music%", 0x0d},                  // CSIDL_MYMUSIC
    {L"%FOLDERID_Pictures%", 0x27},               // CSIDL_MYPICTURES
    {L"%FOLDERID_Videos%", 0x0e},                 // CSIDL_MYVIDEO
    {L"%FOLDERID_NetHood%", 0x13},                // CSIDL_NETHOOD
    {L"%FOLDERID_NetworkFolder%", 0x12},          // CSIDL_NETWORK
    {L"%FOLDERID_Documents%", 0x05},              // CSIDL_PERSONAL
    {L"%FOLDERID_PrintersFolder%", 0x04},         // CSIDL_PRINTERS
    {L"%FOLDERID_PrintHood%", 0x1b},              // CSIDL_PRINTHOOD
    {L"%FOLDERID_Profile%", 0x28},                // CSIDL_PROFILE
    {L"%FOLDERID_ProgramFiles%", 0x26},           // CSIDL_PROGRAM_FILES
    {L"%FOLDERID_ProgramFilesX86%", 0x2a},        // CSIDL_PROGRAM_FILESX86
    {L"%FOLDERID_ProgramFilesCommon%", 0x2b},     // CSIDL_PROGRAM_FILES_COMMON
    {L"%FOLDERID_ProgramFilesCommonX86%", 0x2c},  // CSIDL_PROGRAM_FILES_COMMONX86
    {L"%FOLDERID_Programs%", 0x02},               // CSIDL_PROGRAMS
    {L"%FOLDERID_Recent%", 0x08},                 // CSIDL_RECENT
    {L"%FOLDERID_ResourceDir%", 0x38},            // CSIDL_RESOURCES
    {L"%FOLDERID_LocalizedResourcesDir%", 0x39},  // CSIDL_RESOURCES_LOCALIZED
    {L"%FOLDERID_SendTo%", 0x09},                 // CSIDL_SENDTO
    {L"%FOLDERID_StartMenu%", 0x0b},              // CSIDL_STARTMENU
    {L"%FOLDERID_Startup%", 0x07},                // CSIDL_STARTUP
    {L"%FOLDERID_System%", 0x25},                 // CSIDL_SYSTEM
    {L"%FOLDERID_SystemX86%", 0x29},              // CSIDL_SYSTEMX86
    {L"%FOLDERID_Templates%", 0x15},              // CSIDL_TEMPLATES
    {L"%FOLDERID_Windows%", 0x24},                // CSIDL_WINDOWS
};

// Lower-cased with the same folding that orders the table.
CString LowerName(const CString& name)
{
    std::wstring lower(name.Str());
    for (wchar_t& c : lower)
        c = static_cast<wchar_t>(towlower(c));
    return CString(std::move(lower));
}

typedef Loki::SingletonHolder<CPathVariables> PathVariablesHolder;

} // namespace

bool CPathVariables::SNoCaseLess::operator()(const CString& a, const CString& b) const
{
    return _wcsicmp(a.GetString(), b.GetString()) < 0;
}

const CPathVariables::SKnownFolder* CPathVariables::KnownFolder(int row)
{
    return row >= 0 && row < kKnownFolderRows ? &kKnownFolders[row] : nullptr;
}

CPathVariables::CPathVariables()
{
    for (int row = 0; row < kKnownFolderRows; ++row) {
        SEntry entry;
        entry.m_nFolder = row;
        m_table[LowerName(kKnownFolders[row].name)] = entry;
    }
}

bool CPathVariables::Define(const CString& name, const CString& value)
{
    const int length = name.GetLength();
    if (length <= 2 || name[0] != L'%' || name[length - 1] != L'%')
        return false;
    SEntry entry;
    entry.m_strValue = value;
    m_table[LowerName(name)] = entry;
    return true;
}

bool CPathVariables::Expand(CString& text)
{
    bool changed = false;
    const int limit = text.GetLength() + kMaxGrowth;
    int pos = 0;
    while ((pos = text.Find(L'%', pos)) >= 0 && text.GetLength() <= limit) {
        CVariable* variable = Lookup(text, pos);
        if (variable == nullptr) {
            ++pos;
            continue;
        }
        int skip = 0;
        if (ReplaceAt(text, pos, *variable, skip)) {
            changed = true;
            pos += skip;
        } else {
            ++pos;
        }
    }
    return changed;
}

CPathVariables::CVariable* CPathVariables::Lookup(const CString& text, int pos)
{
    if (text.GetAt(pos) != L'%')
        return nullptr;
    const int close = text.Find(L'%', pos + 1);
    if (close < 0)
        return nullptr;
    const CTable::iterator found = m_table.find(text.Mid(pos, close - pos + 1));
    return found == m_table.end() ? nullptr : &*found;
}

bool CPathVariables::ReplaceAt(CString& text, int pos, CVariable& variable, int& skip)
{
    skip = 0;
    SEntry& entry = variable.second;
    if (entry.m_strValue.IsEmpty() && (entry.m_nFolder < 0 || !ResolveFolder(entry)))
        return false;

    // The form written at pos, with its own letter case, is replaced everywhere.
    const std::wstring& source = text.Str();
    if (pos < 0)
        return false;
    const size_t start = static_cast<size_t>(pos);
    const size_t length = static_cast<size_t>(variable.first.GetLength());
    if (start + length > source.size())
        return false;
    const std::wstring old = source.substr(start, length);
    if (_wcsicmp(old.c_str(), variable.first.GetString()) != 0)
        return false;
    const std::wstring& value = entry.m_strValue.Str();

    std::wstring result;
    size_t copied = 0;
    size_t resume = std::wstring::npos;
    for (size_t at = source.find(old); at != std::wstring::npos; at = source.find(old, at + length)) {
        result.append(source, copied, at - copied);
        result += value;
        copied = at + length;
        // Earlier replacements move the place: the scan goes on after this value.
        if (at <= start && start < copied)
            resume = result.size();
    }
    if (resume == std::wstring::npos)
        return false;
    result.append(source, copied, std::wstring::npos);
    text = CString(std::move(result));
    skip = static_cast<int>(resume) - pos;
    return true;
}

bool CPathVariables::ResolveFolder(SEntry& entry)
{
    const SKnownFolder* folder = KnownFolder(entry.m_nFolder);
    if (folder == nullptr)
        return false;
    CString path;
    if (!QueryFolder(folder->csidl, path) || path.IsEmpty())
        return false;
    entry.m_strValue = path;
    return true;
}

bool CPathVariables::QueryFolder(int csidl, CString& path)
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return false;
    buffer[MAX_PATH - 1] = L'\0';
    path = buffer;
    return true;
}

CPathVariables& GetPathVariables()
{
    return PathVariablesHolder::Instance();
}
