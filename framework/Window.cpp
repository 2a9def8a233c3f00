// Windows, message maps, dialogs and data exchange.
#include "framework/Window.h"

#include "framework/WideFormat.h"
#include "framework/WinThread.h"

#include <exception>
#include <string>

namespace {

const wchar_t kObjectProperty[] = L"Framework.CWnd";

// The object waiting for the window that the current creation call makes.
thread_local CWnd* t_pCreating = nullptr;
thread_local HHOOK t_hCreationHook = nullptr;
thread_local int t_nHookUsers = 0;

INT_PTR CALLBACK FrameworkDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    // Every message reaches the object through the subclassed window procedure.
    return FALSE;
}

} // namespace

namespace Framework {

void TraceException(const wchar_t* where, std::exception_ptr error) noexcept
{
    try {
        std::wstring what = L"unknown exception";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            what = CString(e.what()).Str();
        } catch (...) {
        }
        std::wstring line;
        FormatWide(line, L"Framework: exception caught in %s: %s\n", where, what.c_str());
        OutputDebugStringW(line.c_str());
    } catch (...) {
        OutputDebugStringW(L"Framework: exception caught\n");
    }
}

const wchar_t* RegisterPlainWindowClass(const wchar_t* name)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = name;
    if (::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
        return name;
    return nullptr;
}

} // namespace Framework

LRESULT CALLBACK FrameworkWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (wnd == nullptr)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    const UINT previous = wnd->m_nCurrentMessage;
    wnd->m_nCurrentMessage = message;
    try {
        result = wnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        Framework::TraceException(L"window procedure", std::current_exception());
        result = 0;
    }
    wnd->m_nCurrentMessage = previous;
    if (message == WM_NCDESTROY && CWnd::FromHandlePermanent(hwnd) == wnd) {
        wnd->Unbind();
        try {
            wnd->PostNcDestroy();
        } catch (...) {
            Framework::TraceException(L"PostNcDestroy", std::current_exception());
        }
    }
    return result;
}

LRESULT CALLBACK FrameworkCreationHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_pCreating != nullptr) {
        CWnd* wnd = t_pCreating;
        t_pCreating = nullptr;
        wnd->Bind(reinterpret_cast<HWND>(wParam), true);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

CWnd::~CWnd()
{
    if (m_hWnd == nullptr || !m_bBound)
        return;
    if (m_bCreated)
        ::DestroyWindow(m_hWnd); // its WM_NCDESTROY unbinds
    if (m_hWnd != nullptr)
        Unbind();
}

const MessageMap* CWnd::GetThisMessageMap()
{
    static const MessageMapEntry entries[] = {{0, 0, 0, 0, nullptr}};
    static const MessageMap map = {nullptr, entries};
    return &map;
}

const MessageMap* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    return hwnd != nullptr ? static_cast<CWnd*>(::GetPropW(hwnd, kObjectProperty)) : nullptr;
}

bool CWnd::Bind(HWND hwnd, bool subclass)
{
    if (hwnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hwnd) != nullptr)
        return false;
    if (!::SetPropW(hwnd, kObjectProperty, this))
        return false;
    m_hWnd = hwnd;
    m_bBound = true;
    m_bSubclassed = false;
    if (subclass) {
        m_pfnSuper = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FrameworkWndProc)));
        m_bSubclassed = m_pfnSuper != nullptr;
    }
    return true;
}

void CWnd::Unbind()
{
    if (m_hWnd == nullptr)
        return;
    if (m_bSubclassed && ::IsWindow(m_hWnd)) {
        const auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC));
        if (current == &FrameworkWndProc)
            ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    if (m_bBound)
        ::RemovePropW(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
    m_pfnSuper = nullptr;
    m_bBound = false;
    m_bSubclassed = false;
    m_bCreated = false;
}

void CWnd::HookCreation()
{
    t_pCreating = this;
    if (t_nHookUsers++ == 0)
        t_hCreationHook = ::SetWindowsHookExW(WH_CBT, &FrameworkCreationHook, nullptr, ::GetCurrentThreadId());
}

void CWnd::UnhookCreation()
{
    t_pCreating = nullptr;
    if (--t_nHookUsers == 0 && t_hCreationHook != nullptr) {
        ::UnhookWindowsHookEx(t_hCreationHook);
        t_hCreationHook = nullptr;
    }
}

BOOL CWnd::KeepCreated(HWND hwnd)
{
    if (hwnd == nullptr || m_hWnd != hwnd) {
        if (hwnd != nullptr)
            ::DestroyWindow(hwnd);
        return FALSE;
    }
    m_bCreated = true;
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style,
                    int x, int y, int cx, int cy, HWND parent, HMENU menu, void* param)
{
    if (m_hWnd != nullptr)
        return FALSE;
    HookCreation();
    HWND hwnd = ::CreateWindowExW(exStyle, className, windowName, style, x, y, cx, cy, parent, menu,
                                  AfxGetInstanceHandle(), param);
    UnhookCreation();
    return KeepCreated(hwnd);
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == nullptr)
        return FALSE;
    if (!m_bSubclassed) {
        HWND hwnd = m_hWnd;
        Unbind();
        return ::DestroyWindow(hwnd);
    }
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::Attach(HWND hwnd)
{
    return Bind(hwnd, false);
}

HWND CWnd::Detach()
{
    HWND hwnd = m_hWnd;
    Unbind();
    return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    return Bind(hwnd, true);
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    return parent != nullptr && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow()
{
    return Detach();
}

void CWnd::GetWindowText(CString& text) const
{
    const int length = ::GetWindowTextLengthW(m_hWnd);
    wchar_t* buffer = text.GetBufferSetLength(length + 1);
    const int copied = ::GetWindowTextW(m_hWnd, buffer, length + 1);
    text.ReleaseBuffer(copied);
}

void CWnd::CenterWindow()
{
    RECT area{};
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner != nullptr && ::IsWindowVisible(owner))
        ::GetWindowRect(owner, &area);
    else
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT rc{};
    ::GetWindowRect(m_hWnd, &rc);
    const int x = area.left + ((area.right - area.left) - (rc.right - rc.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (rc.bottom - rc.top)) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    UINT code = 0;
    UINT id = 0;
    if (message == WM_COMMAND) {
        code = HIWORD(wParam);
        id = LOWORD(wParam);
    } else if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr)
            return FALSE;
        code = header->code;
        id = static_cast<UINT>(header->idFrom);
    }
    const bool keyed = message == WM_COMMAND || message == WM_NOTIFY;
    for (const MessageMap* map = GetMessageMap(); map != nullptr; map = map->base != nullptr ? map->base() : nullptr) {
        for (const MessageMapEntry* entry = map->entries; entry->invoke != nullptr; ++entry) {
            if (message < entry->message || message > entry->messageLast)
                continue;
            if (keyed && (entry->code != code || entry->id != id))
                continue;
            if (entry->invoke(this, wParam, lParam, *result))
                return TRUE;
        }
    }
    if (message == WM_COMMAND && OnCommand(wParam, lParam)) {
        *result = 0;
        return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

CWnd* AfxGetMainWnd()
{
    CWinApp* app = AfxGetApp();
    CWnd* threadMain = AfxGetThreadMainWnd();
    if (threadMain != nullptr)
        return threadMain;
    return app != nullptr ? app->m_pMainWnd : nullptr;
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_pParentWnd(parent), m_nIDTemplate(templateId)
{
}

CDialog::CDialog(const DLGTEMPLATE* memoryTemplate, CWnd* parent)
    : m_pParentWnd(parent), m_lpDialogTemplate(memoryTemplate)
{
}

const DLGTEMPLATE* CDialog::FindTemplate() const
{
    if (m_lpDialogTemplate != nullptr)
        return m_lpDialogTemplate;
    if (m_nIDTemplate == 0)
        return nullptr;
    HINSTANCE module = AfxGetInstanceHandle();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(m_nIDTemplate), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    return loaded != nullptr ? static_cast<const DLGTEMPLATE*>(::LockResource(loaded)) : nullptr;
}

HWND CDialog::ParentHandle() const
{
    if (m_pParentWnd != nullptr)
        return m_pParentWnd->m_hWnd;
    CWnd* main = AfxGetMainWnd();
    return main != nullptr && main != this && ::IsWindow(main->m_hWnd) ? main->m_hWnd : nullptr;
}

INT_PTR CDialog::DoModal()
{
    const DLGTEMPLATE* dialogTemplate = FindTemplate();
    if (dialogTemplate == nullptr || m_hWnd != nullptr)
        return -1;
    m_bModal = true;
    HookCreation();
    const INT_PTR result = ::DialogBoxIndirectParamW(AfxGetInstanceHandle(), dialogTemplate, ParentHandle(),
                                                     &FrameworkDialogProc, 0);
    UnhookCreation();
    m_bModal = false;
    if (m_hWnd != nullptr)
        Unbind(); // a creation that failed half-way leaves no window behind
    return result;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent)
{
    m_nIDTemplate = templateId;
    m_lpDialogTemplate = nullptr;
    m_pParentWnd = parent;
    const DLGTEMPLATE* dialogTemplate = FindTemplate();
    return dialogTemplate != nullptr && CreateIndirect(dialogTemplate, parent);
}

BOOL CDialog::CreateIndirect(const DLGTEMPLATE* memoryTemplate, CWnd* parent)
{
    if (memoryTemplate == nullptr || m_hWnd != nullptr)
        return FALSE;
    m_pParentWnd = parent;
    m_bModal = false;
    HookCreation();
    HWND hwnd = ::CreateDialogIndirectParamW(AfxGetInstanceHandle(), memoryTemplate, ParentHandle(),
                                             &FrameworkDialogProc, 0);
    UnhookCreation();
    return KeepCreated(hwnd);
}

void CDialog::EndDialog(int result)
{
    if (m_hWnd == nullptr)
        return;
    if (m_bModal)
        ::EndDialog(m_hWnd, result);
    else
        ::ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    if (m_hWnd == nullptr)
        return FALSE;
    if (m_nExchangeDepth > 0)
        return TRUE;
    struct DepthGuard
    {
        int& depth;
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
    } guard(m_nExchangeDepth);
    CDataExchange exchange(this, saveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const DataExchangeFailure&) {
        if (exchange.m_hLastCtrl != nullptr && saveAndValidate)
            ::SetFocus(exchange.m_hLastCtrl);
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

BOOL CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_INITDIALOG) {
        *result = OnInitDialog();
        return TRUE;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM)
{
    if (HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    if (LOWORD(wParam) == IDOK) {
        OnOK();
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

HWND CDataExchange::PrepareCtrl(int id)
{
    HWND control = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
    if (control == nullptr)
        Fail();
    m_hLastCtrl = control;
    return control;
}

void CDataExchange::Fail()
{
    throw DataExchangeFailure{};
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.m_hWnd == nullptr) {
        HWND hwnd = pDX->PrepareCtrl(id);
        if (!control.SubclassWindow(hwnd))
            pDX->Fail();
    }
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    HWND control = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    else
        ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value)
{
    HWND control = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        CWnd borrowed(control);
        borrowed.GetWindowText(value);
    } else {
        ::SetWindowTextW(control, value);
    }
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    HWND control = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        CString text;
        CWnd borrowed(control);
        borrowed.GetWindowText(text);
        text.Trim();
        wchar_t* end = nullptr;
        const long parsed = wcstol(text, &end, 10);
        if (text.IsEmpty() || end == nullptr || *end != L'\0')
            pDX->Fail();
        value = static_cast<int>(parsed);
    } else {
        CString text;
        text.Format(L"%d", value);
        ::SetWindowTextW(control, text);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& index)
{
    HWND control = pDX->PrepareCtrl(id);
    if (pDX->m_bSaveAndValidate)
        index = static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
    else
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}
