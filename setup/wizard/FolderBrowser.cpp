// The shell's folder browser.
#include "setup/wizard/FolderBrowser.h"

#include "common/tools/ComSupport.h"
#include "common/tools/ScopedHandle.h"

#include <shlwapi.h>

#include <winspool.h>

namespace DlgPopup {

namespace {

// An item list from the shell, freed with the task allocator.
using CItemList = Common::Tools::CTaskMemory<LPITEMIDLIST>;

// The apartment the dialog needs, left again only when this call entered it.
class CApartment
{
public:
    CApartment() : m_bEntered(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~CApartment()
    {
        if (m_bEntered)
            ::CoUninitialize();
    }
    CApartment(const CApartment&) = delete;
    CApartment& operator=(const CApartment&) = delete;

private:
    bool m_bEntered;
};

LPITEMIDLIST RootFolder(UINT flags)
{
    LPITEMIDLIST root = nullptr;
    const int csidl = (flags & BIF_BROWSEFORPRINTER) != 0 ? CSIDL_PRINTERS : CSIDL_DESKTOP;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &root)))
        return nullptr;
    return root;
}

void SelectInitialFolder(HWND dialog, LPARAM data)
{
    const wchar_t* path = reinterpret_cast<const wchar_t*>(data);
    if (path != nullptr && *path != L'\0')
        ::SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
}

// Whether the item names a printer that can be opened.
bool IsPrinter(LPCITEMIDLIST item)
{
    IShellFolder* folder = nullptr;
    if (item == nullptr || FAILED(::SHGetDesktopFolder(&folder)))
        return false;
    const IShellFolderPtr desktop(folder, false);
    STRRET name = {};
    if (FAILED(desktop->GetDisplayNameOf(item, SHGDN_FORPARSING, &name)))
        return false;
    Common::Tools::CTaskMemory<wchar_t*> text;
    if (FAILED(::StrRetToStrW(&name, item, text.Receive())))
        return false;
    Common::Tools::CUniqueHandle<HANDLE, &::ClosePrinter> printer;
    return ::OpenPrinterW(text.Get(), printer.Receive(), nullptr) && printer.IsValid();
}

} // namespace

void FillBrowseInfo(HWND owner, BROWSEINFOW& info, const BrowseRequest& request, wchar_t* displayName)
{
    const bool printers = (request.nFlags & BIF_BROWSEFORPRINTER) != 0;
    info = BROWSEINFOW();
    info.hwndOwner = owner;
    info.pidlRoot = RootFolder(request.nFlags);
    info.pszDisplayName = displayName;
    info.lpszTitle = request.strTitle.GetString();
    info.ulFlags = request.nFlags;
    info.lpfn = printers ? &BrowseForPrinterProc : &BrowseForFolderProc;
    info.lParam = reinterpret_cast<LPARAM>(request.strPath.GetString());
    info.iImage = 0;
}

bool BrowseForFolder(BrowseRequest& request, HWND owner)
{
    CApartment apartment;
    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info;
    FillBrowseInfo(owner, info, request, displayName);
    CItemList root(const_cast<LPITEMIDLIST>(info.pidlRoot));

    CItemList chosen(::SHBrowseForFolderW(&info));
    if (chosen.Get() == nullptr)
        return false;
    // The display name buffer is reused for the path: both are MAX_PATH long.
    if (!::SHGetPathFromIDListW(chosen.Get(), displayName) || displayName[0] == L'\0')
        return false;
    request.strPath = displayName;
    return true;
}

int CALLBACK BrowseForFolderProc(HWND dialog, UINT message, LPARAM, LPARAM data)
{
    if (message == BFFM_INITIALIZED)
        SelectInitialFolder(dialog, data);
    return 0;
}

int CALLBACK BrowseForPrinterProc(HWND dialog, UINT message, LPARAM param, LPARAM data)
{
    if (message == BFFM_INITIALIZED) {
        SelectInitialFolder(dialog, data);
    } else if (message == BFFM_SELCHANGED) {
        ::SendMessageW(dialog, BFFM_ENABLEOK, 0, IsPrinter(reinterpret_cast<LPCITEMIDLIST>(param)) ? TRUE : FALSE);
    }
    return 0;
}

} // namespace DlgPopup
