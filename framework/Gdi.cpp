// Rectangles, GDI objects and device contexts.
#include "framework/Gdi.h"

#include "framework/Window.h"

BOOL CGdiObject::Attach(HGDIOBJ object)
{
    DeleteObject();
    m_hObject = object;
    return object != nullptr;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ object = m_hObject;
    m_hObject = nullptr;
    return object;
}

BOOL CGdiObject::DeleteObject()
{
    if (m_hObject == nullptr)
        return FALSE;
    const BOOL deleted = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return deleted;
}

BOOL CBitmap::CreateCompatibleBitmap(HDC dc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(dc, width, height));
}

BOOL CBitmap::CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits)
{
    return Attach(::CreateBitmap(width, height, planes, bitsPerPixel, bits));
}

BOOL CBitmap::LoadBitmap(UINT id)
{
    return Attach(::LoadImageW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0));
}

BOOL CBitmap::GetBitmap(BITMAP* info) const
{
    return m_hObject != nullptr && ::GetObjectW(m_hObject, sizeof(BITMAP), info) != 0;
}

BOOL CBrush::CreateSolidBrush(COLORREF color)
{
    return Attach(::CreateSolidBrush(color));
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* font)
{
    return Attach(::CreateFontIndirectW(font));
}

BOOL CFont::CreatePointFont(int pointSize, const wchar_t* faceName)
{
    LOGFONTW font{};
    {
        CClientDC screen(nullptr);
        font.lfHeight = -MulDiv(pointSize, ::GetDeviceCaps(screen.m_hDC, LOGPIXELSY), 720);
    }
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, faceName, LF_FACESIZE);
    return CreateFontIndirect(&font);
}

CDC::~CDC()
{
    DeleteDC();
}

BOOL CDC::Attach(HDC dc)
{
    DeleteDC();
    m_hDC = dc;
    m_bOwned = false;
    return dc != nullptr;
}

HDC CDC::Detach()
{
    HDC dc = m_hDC;
    m_hDC = nullptr;
    m_bOwned = false;
    return dc;
}

BOOL CDC::CreateCompatibleDC(CDC* other)
{
    DeleteDC();
    m_hDC = ::CreateCompatibleDC(other != nullptr ? other->m_hDC : nullptr);
    m_bOwned = m_hDC != nullptr;
    return m_hDC != nullptr;
}

BOOL CDC::DeleteDC()
{
    if (m_hDC == nullptr)
        return FALSE;
    const BOOL deleted = m_bOwned ? ::DeleteDC(m_hDC) : TRUE;
    m_hDC = nullptr;
    m_bOwned = false;
    return deleted;
}

HGDIOBJ CDC::SelectObject(CGdiObject* object)
{
    return object != nullptr ? ::SelectObject(m_hDC, object->m_hObject) : nullptr;
}

HGDIOBJ CDC::SelectObject(HGDIOBJ object)
{
    return object != nullptr ? ::SelectObject(m_hDC, object) : nullptr;
}

void CDC::FillSolidRect(const RECT* rc, COLORREF color)
{
    // ExtTextOut with an opaque rectangle fills without a brush object.
    const COLORREF previous = ::SetBkColor(m_hDC, color);
    ::ExtTextOutW(m_hDC, 0, 0, ETO_OPAQUE, rc, nullptr, 0, nullptr);
    ::SetBkColor(m_hDC, previous);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    const RECT rc{x, y, x + cx, y + cy};
    FillSolidRect(&rc, color);
}

BOOL CDC::BitBlt(int x, int y, int cx, int cy, CDC* source, int xSrc, int ySrc, DWORD rop)
{
    return ::BitBlt(m_hDC, x, y, cx, cy, source != nullptr ? source->m_hDC : nullptr, xSrc, ySrc, rop);
}

BOOL CDC::TextOut(int x, int y, const wchar_t* text, int length)
{
    return ::TextOutW(m_hDC, x, y, text, length);
}

int CDC::DrawText(const wchar_t* text, int length, RECT* rc, UINT format)
{
    return ::DrawTextW(m_hDC, text, length, rc, format);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->GetSafeHwnd())
{
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC()
{
    if (m_hDC != nullptr)
        ::EndPaint(m_hWnd, &m_ps);
    Detach();
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd != nullptr ? wnd->GetSafeHwnd() : nullptr)
{
    Attach(::GetDC(m_hWnd));
}

CClientDC::~CClientDC()
{
    if (m_hDC != nullptr)
        ::ReleaseDC(m_hWnd, m_hDC);
    Detach();
}
