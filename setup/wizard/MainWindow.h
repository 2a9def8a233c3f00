// The main window behind the wizard pages.
#pragma once

#include "framework/Window.h"

namespace Gdiplus {
class Bitmap;
class Font;
class SolidBrush;
} // namespace Gdiplus

namespace DlgPopup {

// The borderless window behind the wizard pages: themed background, progress bar,
// status text and wait image. Every operation is harmless before the window exists,
// since quiet runs never create it.
class CDlgMain : public CDialog
{
public:
    CDlgMain();
    ~CDlgMain() override;

    void Show();
    void LoadResources();
    // Forgets every item borrowed from the theme; call before the theme is replaced.
    void ReleaseResources();
    void Layout();
    void UpdateCaption();
    void SetProgress(double fraction);
    void StepProgress();
    void PumpMessages();
    void InvalidateControl(int controlId);
    CRect ReadLayoutRect(const wchar_t* path, int defaultWidth, int defaultHeight);

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

    // Paints the whole window (every partial repaint comes here).
    virtual BOOL OnEraseBkgnd(CDC* dc);
    void OnPaint();
    HCURSOR OnQueryDragIcon();

    HICON m_hIcon = nullptr;
    double m_dProgress = 0.0;
    double m_dStep = 0.0;
    bool m_bShowProgress = true;
    bool m_bShowWait = false;
    Gdiplus::Bitmap* m_pWaitImage = nullptr;
    Gdiplus::Bitmap* m_pBackImage = nullptr;
    Gdiplus::Bitmap* m_pProgressBack = nullptr;
    Gdiplus::Bitmap* m_pProgressOver = nullptr;
    Gdiplus::SolidBrush* m_pTextBrush = nullptr;
    Gdiplus::Font* m_pTextFont = nullptr;

protected:
    LRESULT OnCreate(WPARAM wParam, LPARAM lParam);
    LRESULT OnClose(WPARAM wParam, LPARAM lParam);
    // The control's rectangle in client coordinates; false when it does not exist.
    bool GetControlRect(int controlId, RECT* rc) const;

    DECLARE_MESSAGE_MAP()

private:
    // What a paint of the bar's rectangle draws there.
    struct SBarPaint
    {
        bool operator==(const SBarPaint& other) const;

        CRect client;
        CRect bar;
        int fillWidth = 0;
        int sourceWidth = 0;
        bool shown = false;
        bool showWait = false;
        // The status text or the wait image reaches into the bar.
        bool overlapped = false;
        const Gdiplus::Bitmap* back = nullptr;
        const Gdiplus::Bitmap* track = nullptr;
        const Gdiplus::Bitmap* over = nullptr;
    };
    SBarPaint CurrentBarPaint() const;
    // Dispatches the window's waiting messages; false when the window went.
    bool DrainMessages();

    // The last paint that covered the whole bar on the screen, while no later
    // paint covered part of it.
    bool m_bBarOnScreen = false;
    SBarPaint m_barOnScreen;
};

} // namespace DlgPopup
