// Path texts edited with the platform's rules, and the program's own path.
#include "common/tools/PathTools.h"

#include "common/tools/ComError.h"
#include "common/tools/ScopedHandle.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

// Copies the text into a platform path buffer; false when it does not fit.
bool ToPathBuffer(const CString& text, wchar_t (&buffer)[MAX_PATH])
{
    if (text.GetLength() >= MAX_PATH)
        return false;
    wmemcpy(buffer, text.GetString(), static_cast<size_t>(text.GetLength()) + 1);
    return true;
}

// Takes the buffer back when the platform left a terminated text in it.
bool FromPathBuffer(CString& text, const wchar_t (&buffer)[MAX_PATH])
{
    const size_t length = wcsnlen(buffer, MAX_PATH);
    if (length >= MAX_PATH)
        return false;
    text = CString(buffer, static_cast<int>(length));
    return true;
}

} // namespace

void QuotePath(CString& path)
{
    // PathQuoteSpacesW's rule, without its 260-character buffer: a quoted
    // command-line argument may be longer than a path.
    if (path.Find(L' ') >= 0)
        path = L"\"" + path + L"\"";
}

void RemovePathExtension(CString& path)
{
    // Only ever shortens the text: done in the string's own buffer.
    PathRemoveExtensionW(path.GetBuffer());
    path.ReleaseBuffer();
}

bool RenamePathExtension(CString& path, const wchar_t* extension)
{
    wchar_t buffer[MAX_PATH];
    if (extension == nullptr || !ToPathBuffer(path, buffer))
        return false;
    if (!PathRenameExtensionW(buffer, extension))
        return false;
    return FromPathBuffer(path, buffer);
}

bool StripPathToRoot(CString& path)
{
    wchar_t buffer[MAX_PATH];
    if (!ToPathBuffer(path, buffer))
        return false;
    if (!PathStripToRootW(buffer))
        return false;
    return FromPathBuffer(path, buffer);
}

bool RemovePathFileSpec(CString& path)
{
    const BOOL removed = PathRemoveFileSpecW(path.GetBuffer());
    path.ReleaseBuffer();
    return removed != FALSE;
}

bool AppendPath(CString& path, const wchar_t* more)
{
    wchar_t buffer[MAX_PATH];
    if (more == nullptr || wcslen(more) >= MAX_PATH || !ToPathBuffer(path, buffer))
        return false;
    if (!PathAppendW(buffer, more))
        return false;
    return FromPathBuffer(path, buffer);
}

CString IntToString(int value)
{
    CString text;
    text.Format(L"%d", value);
    return text;
}

CString SucceededText(bool succeeded)
{
    return succeeded ? CString(L"successful") : CString(L"failed");
}

CString MakeTempFileName()
{
    // GetTempFileNameW takes a folder of at most 246 characters, so that the
    // name it adds still fits in 260.
    const DWORD room = MAX_PATH - 14;
    wchar_t folder[room + 1] = {};
    const DWORD length = GetTempPathW(room + 1, folder);
    if (length == 0 || length > room)
        return CString();
    wchar_t name[MAX_PATH] = {};
    if (GetTempFileNameW(folder, L"set", 0, name) == 0)
        return CString();
    CString result;
    if (!FromPathBuffer(result, name))
        return CString();
    return result;
}

CString NewGuidString()
{
    GUID guid;
    if (FAILED(CoCreateGuid(&guid)))
        return CString();
    wchar_t text[40] = {};
    if (StringFromGUID2(guid, text, 39) == 0)
        return CString();
    return CString(text);
}

CString GetFileVersionString(const wchar_t* file, const wchar_t* valueName)
{
    CString result;
    if (file == nullptr || valueName == nullptr)
        return result;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &handle);
    if (size == 0)
        return result;

    // Unlocked before it is freed: the lock is destroyed first.
    const Common::Tools::CGlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, size));
    const Common::Tools::CGlobalLock block(memory.Get());
    if (block.Data() == nullptr)
        Common::Tools::ThrowComError(E_FAIL);
    if (!GetFileVersionInfoW(file, 0, size, block.Data()))
        Common::Tools::ThrowComError(E_FAIL);

    WORD* translation = nullptr;
    UINT translationLength = 0;
    if (!VerQueryValueW(block.Data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &translationLength) ||
        translation == nullptr || translationLength < 2 * sizeof(WORD))
        return result;

    CString query;
    query.Format(L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
    if (query.IsEmpty())
        Common::Tools::ThrowComError(E_FAIL);
    query += valueName;

    wchar_t* value = nullptr;
    UINT valueLength = 0;
    if (VerQueryValueW(block.Data(), query, reinterpret_cast<void**>(&value), &valueLength) && value != nullptr)
        result = CString(value, static_cast<int>(wcsnlen(value, valueLength)));
    return result;
}

CString GetModuleFileNameWithin(HMODULE module, DWORD room)
{
    if (room == 0)
        return CString();
    CString path;
    // A name that fills the buffer was cut (older systems do not even terminate it).
    const DWORD length = GetModuleFileNameW(module, path.GetBufferSetLength(static_cast<int>(room)), room);
    if (length == 0 || length >= room)
        return CString();
    path.ReleaseBuffer(static_cast<int>(length));
    return path;
}

CString GetModulePath()
{
    return GetModuleFileNameWithin(nullptr, MAX_PATH);
}

bool IsExistingFile(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsExistingFolder(const wchar_t* path)
{
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

ULONGLONG GetFreeDiskSpace(const wchar_t* path)
{
    ULARGE_INTEGER available = {};
    if (path == nullptr || !GetDiskFreeSpaceExW(path, &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}
