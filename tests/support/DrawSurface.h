// A memory bitmap to draw on in tests.
#pragma once

#include "framework/Gdi.h"

#include <windows.h>

namespace TestSupport {

// A 32-bit bitmap selected into a memory context and filled with one colour, for
// drawing code to paint into and tests to read back pixel by pixel.
class CDrawSurface
{
public:
    CDrawSurface(int width, int height, COLORREF fill = RGB(255, 0, 255))
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        m_dc.CreateCompatibleDC(nullptr);
        m_bitmap.Attach(::CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        m_old = m_dc.SelectObject(&m_bitmap);
        m_dc.FillSolidRect(0, 0, width, height, fill);
    }
    ~CDrawSurface() { m_dc.SelectObject(m_old); }
    CDrawSurface(const CDrawSurface&) = delete;
    CDrawSurface& operator=(const CDrawSurface&) = delete;

    COLORREF At(int x, int y) const { return m_dc.GetPixel(x, y); }

    CDC m_dc;
    CBitmap m_bitmap;
    HGDIOBJ m_old = nullptr;
};

} // namespace TestSupport
