// Windows, message maps, dialogs and data exchange.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "framework/Gdi.h"
#include "framework/WinApp.h"
#include "framework/WinString.h"

class CWnd;

// One entry of a class's message map: the message (a range for WM_CTLCOLOR*), the
// notification code and control id for WM_COMMAND/WM_NOTIFY, and an adaptor that
// calls the member. A null adaptor ends the table.
struct MessageMapEntry
{
    UINT message;
    UINT messageLast;
    UINT code;
    UINT id;
    bool (*invoke)(CWnd* self, WPARAM wParam, LPARAM lParam, LRESULT& result);
};

struct MessageMap
{
    const MessageMap* (*base)(); // null at the root
    const MessageMapEntry* entries;
};

#define DECLARE_MESSAGE_MAP()                                  \
public:                                                        \
    static const MessageMap* GetThisMessageMap();              \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const MessageMap* theClass::GetThisMessageMap()                                   \
    {                                                                                 \
        using ThisClass [[maybe_unused]] = theClass;                                  \
        using TheBase = baseClass;                                                    \
        static const MessageMapEntry entries[] = {

#define END_MESSAGE_MAP()                                                 \
            { 0, 0, 0, 0, nullptr } };                                   \
        static const MessageMap map = { &TheBase::GetThisMessageMap, entries }; \
        return &map;                                                      \
    }

#define FW_SELF static_cast<ThisClass*>(self)

#define ON_MESSAGE(msg, member)                                                    \
    { static_cast<UINT>(msg), static_cast<UINT>(msg), 0, 0,                        \
      [](CWnd* self, WPARAM w, LPARAM l, LRESULT& r) { r = FW_SELF->member(w, l); return true; } },

// The message number is read when the map is first used, so it may be registered.
#define ON_REGISTERED_MESSAGE(msgVariable, member) ON_MESSAGE(msgVariable, member)

#define ON_COMMAND(id, member) ON_CONTROL(0, id, member)

#define ON_CONTROL(code, id, member)                                               \
    { WM_COMMAND, WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id),      \
      [](CWnd* self, WPARAM, LPARAM, LRESULT& r) { FW_SELF->member(); r = 0; return true; } },

#define ON_BN_CLICKED(id, member) ON_CONTROL(BN_CLICKED, id, member)
#define ON_EN_CHANGE(id, member) ON_CONTROL(EN_CHANGE, id, member)
#define ON_CBN_SELCHANGE(id, member) ON_CONTROL(CBN_SELCHANGE, id, member)

// member(NMHDR*, LRESULT*)
#define ON_NOTIFY(code, id, member)                                                \
    { WM_NOTIFY, WM_NOTIFY, static_cast<UINT>(code), static_cast<UINT>(id),        \
      [](CWnd* self, WPARAM, LPARAM l, LRESULT& r) {                               \
          r = 0; FW_SELF->member(reinterpret_cast<NMHDR*>(l), &r); return true; } },

#define ON_WM_PAINT()                                                              \
    { WM_PAINT, WM_PAINT, 0, 0,                                                    \
      [](CWnd* self, WPARAM, LPARAM, LRESULT& r) { FW_SELF->OnPaint(); r = 0; return true; } },

// BOOL OnEraseBkgnd(CDC*)
#define ON_WM_ERASEBKGND()                                                         \
    { WM_ERASEBKGND, WM_ERASEBKGND, 0, 0,                                          \
      [](CWnd* self, WPARAM w, LPARAM, LRESULT& r) {                               \
          CDC dc; dc.Attach(reinterpret_cast<HDC>(w));                             \
          r = FW_SELF->OnEraseBkgnd(&dc); dc.Detach(); return true; } },

// HBRUSH OnCtlColor(CDC*, CWnd* control, UINT kind): kind is CTLCOLOR_*.
#define ON_WM_CTLCOLOR()                                                           \
    { WM_CTLCOLORMSGBOX, WM_CTLCOLORSTATIC, 0, 0,                                  \
      [](CWnd* self, WPARAM w, LPARAM l, LRESULT& r) {                             \
          CDC dc; dc.Attach(reinterpret_cast<HDC>(w));                             \
          CWnd control(reinterpret_cast<HWND>(l));                                 \
          r = reinterpret_cast<LRESULT>(FW_SELF->OnCtlColor(&dc, &control,         \
              CWnd::CtlColorKind(self->m_nCurrentMessage)));                       \
          dc.Detach(); return true; } },

#define ON_WM_TIMER()                                                              \
    { WM_TIMER, WM_TIMER, 0, 0,                                                    \
      [](CWnd* self, WPARAM w, LPARAM, LRESULT& r) { FW_SELF->OnTimer(w); r = 0; return true; } },

#define ON_WM_DESTROY()                                                            \
    { WM_DESTROY, WM_DESTROY, 0, 0,                                                \
      [](CWnd* self, WPARAM, LPARAM, LRESULT& r) { FW_SELF->OnDestroy(); r = 0; return true; } },

// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON()                                                      \
    { WM_QUERYDRAGICON, WM_QUERYDRAGICON, 0, 0,                                    \
      [](CWnd* self, WPARAM, LPARAM, LRESULT& r) {                                 \
          r = reinterpret_cast<LRESULT>(FW_SELF->OnQueryDragIcon()); return true; } },

namespace Framework {
// Writes a caught exception to the debugger output; never throws.
void TraceException(const wchar_t* where, std::exception_ptr error) noexcept;
// Registers a window class of this module with the default procedure, redrawn
// when resized, with no cursor and no background brush (its owner paints it).
// Gives the name when the class is there, null when it could not be registered.
const wchar_t* RegisterPlainWindowClass(const wchar_t* name);
} // namespace Framework

// A window object over a handle. The object binds itself to a window it creates or
// subclasses and lets go when the window is destroyed, so it can be created again.
// An object built over a handle only borrows it (no routing, no destruction).
class CWnd
{
public:
    CWnd() = default;
    explicit CWnd(HWND borrowed) : m_hWnd(borrowed) {}
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;

    // The object bound to the handle, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }

    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style,
                  int x, int y, int cx, int cy, HWND parent, HMENU menu, void* param = nullptr);
    virtual BOOL DestroyWindow();

    // Binding without creating: Attach only maps, SubclassWindow also routes messages.
    BOOL Attach(HWND hwnd);
    HWND Detach();
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    { return ::SendMessageW(m_hWnd, message, wParam, lParam); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    { return ::PostMessageW(m_hWnd, message, wParam, lParam); }

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    void GetClientRect(RECT* rc) const { ::GetClientRect(m_hWnd, rc); }
    void GetWindowRect(RECT* rc) const { ::GetWindowRect(m_hWnd, rc); }
    void ScreenToClient(RECT* rc) const { ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(rc), 2); }
    BOOL MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) { return ::MoveWindow(m_hWnd, x, y, cx, cy, repaint); }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) { return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(const RECT* rc, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rc, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    void CenterWindow();
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    HICON SetIcon(HICON icon, BOOL big) { return reinterpret_cast<HICON>(SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon))); }
    void SetFont(CFont* font, BOOL redraw = TRUE) { SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font->m_hObject), redraw); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    HWND GetDlgItemHandle(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetDlgItemText(int id, const wchar_t* text) { ::SetDlgItemTextW(m_hWnd, id, text); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK)
    { return ::MessageBoxW(m_hWnd, text, caption, type); }

    // Routing: the map chain first, then WM_COMMAND to OnCommand, then the default.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone and the object has let go of it.
    virtual void PostNcDestroy() {}

    static UINT CtlColorKind(UINT message) { return message - WM_CTLCOLORMSGBOX; }

    HWND m_hWnd = nullptr;
    UINT m_nCurrentMessage = 0;

protected:
    // Binding made for the window that the next creation on this thread makes.
    void HookCreation();
    static void UnhookCreation();
    // What a creation under the hook gave: kept as this object's own when it is the
    // window bound to it, else destroyed (FALSE).
    BOOL KeepCreated(HWND hwnd);
    void Unbind();
    bool m_bCreated = false; // made by this object: destroyed with it

private:
    friend LRESULT CALLBACK FrameworkWndProc(HWND, UINT, WPARAM, LPARAM);
    friend LRESULT CALLBACK FrameworkCreationHook(int, WPARAM, LPARAM);
    bool Bind(HWND hwnd, bool subclass);

    WNDPROC m_pfnSuper = nullptr;
    bool m_bBound = false;
    bool m_bSubclassed = false;
};

CWnd* AfxGetMainWnd();

class CDataExchange;

// A dialog from a template resource (by id) or an in-memory template, modal or modeless.
class CDialog : public CWnd
{
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    CDialog(const DLGTEMPLATE* memoryTemplate, CWnd* parent);

    // The EndDialog value, or -1 when the dialog cannot be created.
    virtual INT_PTR DoModal();
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL CreateIndirect(const DLGTEMPLATE* memoryTemplate, CWnd* parent = nullptr);
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Exchange between members and controls. A call made while an exchange of this
    // dialog is running (from a notification the exchange caused) does nothing and
    // returns TRUE: it would read or write half-exchanged values.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* pDX);

    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    CWnd* m_pParentWnd = nullptr;

protected:
    const DLGTEMPLATE* FindTemplate() const;
    HWND ParentHandle() const;

    UINT m_nIDTemplate = 0;
    const DLGTEMPLATE* m_lpDialogTemplate = nullptr;
    bool m_bModal = false;
    int m_nExchangeDepth = 0;
};

// Raised by a failed validation inside DoDataExchange; UpdateData returns FALSE.
struct DataExchangeFailure
{
};

class CDataExchange
{
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    // The control's handle; a missing control fails the exchange.
    HWND PrepareCtrl(int id);
    [[noreturn]] void Fail();

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hLastCtrl = nullptr;
};

void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_Text(CDataExchange* pDX, int id, CString& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_CBIndex(CDataExchange* pDX, int id, int& index);
