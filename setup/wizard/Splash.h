// The splash window shown while the package loads.
#pragma once

#include "common/tools/ScopedHandle.h"
#include "framework/WinString.h"
#include "framework/WinThread.h"
#include "framework/Window.h"

#include <objidl.h>
#include <windows.h>

struct CSplashHolder;

// A decoded picture kept as a premultiplied 32-bit bitmap, so that drawing it
// needs no GDI+ (the splash may outlive GDI+ at process exit).
class CSplashImage
{
public:
    // False, and empty, when the picture cannot be decoded.
    bool Load(const wchar_t* path);
    bool Load(IStream* stream);
    void Draw(HDC dc, int x, int y) const;
    bool IsEmpty() const { return !m_hBitmap.IsValid(); }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    void Reset();

private:
    bool TakeFrom(void* gdiplusBitmap);

    using CBitmapHandle = Common::Tools::CUniqueHandle<HBITMAP, &::DeleteObject>;

    CBitmapHandle m_hBitmap;
    int m_nWidth = 0;
    int m_nHeight = 0;
};

// The borderless picture in the middle of the screen.
class CSplashWnd : public CWnd
{
public:
    // Finds and loads the picture beside the program (or resource 151) and shows
    // the window; false when there is no picture or no window.
    bool Create();
    // The same for the program at that path.
    bool CreateFor(const CString& programPath);

    // The first of "<program>.dat/.png/.bmp/.jpg/.jpeg" that exists as a file,
    // beside the program's long name; empty when none does.
    static CString FindPicture(const CString& programPath);

    void OnPaint();

    CSplashImage m_Image;

    DECLARE_MESSAGE_MAP()
};

// The splash's own user-interface thread; deletes itself when it ends (WM_QUIT).
class CSplashThread : public CWinThread
{
public:
    CSplashThread();

    BOOL InitInstance() override;

    Common::Tools::CScopedHandle m_evReady; // signalled once InitInstance has looked
    bool m_bShown = false;                  // a splash window was created
    CSplashWnd m_wndSplash;
};

// Starts the splash thread and names it in the holder; returns once the thread has
// looked for its picture, one second later when it shows one.
void StartSplashThread(CSplashHolder& holder);

// The splash of this run: null in a quiet run, else a started one for SetSplash.
CSplashHolder* StartSplash();
