// The header strip of a wizard page.
#pragma once

#include "framework/Window.h"

namespace Gdiplus {
class Bitmap;
}

namespace DlgPopup {

// The header strip of a wizard page: the themed picture and an optional web link.
class CBanner : public CWnd
{
public:
    CBanner() = default;
    ~CBanner() override;

    // Creates the strip over the parent's client area and reads "<path>/Header".
    // False when the window cannot be made or the element cannot be read.
    bool Create(CWnd* parent, const wchar_t* pagePath);

    // A picture side of 'size' pixels at 96 dpi, drawn at 'dpi'.
    static unsigned ScaleForDpi(unsigned size, unsigned dpi) { return (dpi * size) / 96; }
    // Only http and https addresses that the shell takes for a URL are opened.
    static bool IsOpenableLink(const wchar_t* link);

    Gdiplus::Bitmap* m_pImage = nullptr; // borrowed from the graphic resources
    CString m_strLink;

    BOOL OnEraseBkgnd(CDC* dc);
    LRESULT OnLButtonUp(WPARAM wParam, LPARAM lParam);
    LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()
};

} // namespace DlgPopup
