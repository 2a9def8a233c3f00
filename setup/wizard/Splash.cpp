// The splash window shown while the package loads.
#include "setup/wizard/Splash.h"

#include "common/tools/ComError.h"
#include "common/tools/ComSupport.h"
#include "common/tools/PathTools.h"
#include "common/tools/ResourceCache.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/SetupApp.h"

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>
#include <shlwapi.h>

#include <comdef.h>

#include <cstring>
#include <iterator>
#include <utility>

namespace {

const wchar_t kSplashClass[] = L"SetupSplash";
const UINT kSplashResourceId = 151;
const wchar_t* const kPictureExtensions[] = {L".dat", L".png", L".bmp", L".jpg", L".jpeg"};
// Long enough for the window to be seen before the wizard replaces it.
const DWORD kShownPause = 1000;

const wchar_t* SplashClass()
{
    static const wchar_t* const name = Framework::RegisterPlainWindowClass(kSplashClass);
    return name;
}

} // namespace

// ---- CSplashImage

void CSplashImage::Reset()
{
    m_hBitmap.Reset();
    m_nWidth = m_nHeight = 0;
}

bool CSplashImage::Load(const wchar_t* path)
{
    Reset();
    if (path == nullptr)
        return false;
    Gdiplus::Bitmap bitmap(path, FALSE);
    return TakeFrom(&bitmap);
}

bool CSplashImage::Load(IStream* stream)
{
    Reset();
    if (stream == nullptr)
        return false;
    Gdiplus::Bitmap bitmap(stream, FALSE);
    return TakeFrom(&bitmap);
}

bool CSplashImage::TakeFrom(void* gdiplusBitmap)
{
    auto* bitmap = static_cast<Gdiplus::Bitmap*>(gdiplusBitmap);
    if (bitmap->GetLastStatus() != Gdiplus::Ok)
        return false;
    const UINT width = bitmap->GetWidth();
    const UINT height = bitmap->GetHeight();
    // A picture larger than any screen is no splash.
    if (width == 0 || height == 0 || width > 16384 || height > 16384)
        return false;

    Gdiplus::Rect area(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData data{};
    if (bitmap->LockBits(&area, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) != Gdiplus::Ok)
        return false;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height); // top-down, as GDI+ gives the rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    CBitmapHandle dib(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (dib.IsValid() && bits != nullptr) {
        const size_t row = static_cast<size_t>(width) * 4;
        for (UINT y = 0; y < height; ++y) {
            const BYTE* source = static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
            std::memcpy(static_cast<BYTE*>(bits) + y * row, source, row);
        }
        ::GdiFlush();
    }
    bitmap->UnlockBits(&data);
    if (!dib.IsValid() || bits == nullptr)
        return false;
    m_hBitmap = std::move(dib);
    m_nWidth = static_cast<int>(width);
    m_nHeight = static_cast<int>(height);
    return true;
}

void CSplashImage::Draw(HDC dc, int x, int y) const
{
    if (IsEmpty() || dc == nullptr)
        return;
    const Common::Tools::CUniqueHandle<HDC, &::DeleteDC> memory(::CreateCompatibleDC(dc));
    if (!memory.IsValid())
        return;
    HGDIOBJ previous = ::SelectObject(memory.Get(), m_hBitmap.Get());
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    // gdi32's own entry: msimg32 would be one more DLL to take from the system folder.
    ::GdiAlphaBlend(dc, x, y, m_nWidth, m_nHeight, memory.Get(), 0, 0, m_nWidth, m_nHeight, blend);
    ::SelectObject(memory.Get(), previous);
}

// ---- CSplashWnd

BEGIN_MESSAGE_MAP(CSplashWnd, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

CString CSplashWnd::FindPicture(const CString& programPath)
{
    wchar_t path[MAX_PATH] = {};
    if (programPath.IsEmpty() || programPath.GetLength() >= MAX_PATH)
        return CString();
    wcscpy_s(path, programPath.GetString());
    // Started through a short name, the picture still goes by the long one.
    wchar_t longPath[MAX_PATH] = {};
    const DWORD length = ::GetLongPathNameW(path, longPath, MAX_PATH);
    if (length != 0 && length < MAX_PATH)
        wcscpy_s(path, longPath);

    CString candidate(path);
    for (const wchar_t* extension : kPictureExtensions) {
        RemovePathExtension(candidate);
        wchar_t buffer[MAX_PATH] = {};
        if (candidate.GetLength() >= MAX_PATH)
            return CString();
        wcscpy_s(buffer, candidate.GetString());
        if (!::PathAddExtensionW(buffer, extension))
            return CString();
        candidate = buffer;
        if (IsExistingFile(candidate))
            return candidate;
    }
    return CString();
}

bool CSplashWnd::Create()
{
    return CreateFor(GetModulePath());
}

bool CSplashWnd::CreateFor(const CString& programPath)
{
    const CString picture = FindPicture(programPath);
    if (!picture.IsEmpty()) {
        // A picture there that does not decode is not replaced by the resource.
        m_Image.Load(picture);
    } else {
        try {
            HGLOBAL block = Common::Tools::LoadResourceToGlobal(Common::Tools::GetResourceCache(), nullptr,
                                                                kSplashResourceId);
            if (block != nullptr) {
                IStream* raw = nullptr;
                const HRESULT hr = ::CreateStreamOnHGlobal(block, FALSE, &raw);
                if (FAILED(hr))
                    Common::Tools::ThrowComError(hr);
                IStreamPtr stream(raw, false);
                m_Image.Load(stream);
            }
        } catch (const _com_error&) {
            m_Image.Reset();
        }
    }
    if (m_Image.IsEmpty())
        return false;

    const wchar_t* className = SplashClass();
    if (className == nullptr ||
        !CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, className, L"~splash", WS_POPUP | WS_DISABLED, 0, 0,
                  m_Image.GetWidth(), m_Image.GetHeight(), nullptr, nullptr))
        return false;
    CenterWindow();
    ShowWindow(SW_SHOWNOACTIVATE);
    return true;
}

void CSplashWnd::OnPaint()
{
    CPaintDC dc(this);
    m_Image.Draw(dc, 0, 0);
}

// ---- CSplashThread

CSplashThread::CSplashThread() : m_evReady(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

BOOL CSplashThread::InitInstance()
{
    // The starter waits for the event: it is signalled whatever Create does.
    try {
        m_bShown = m_wndSplash.Create();
    } catch (...) {
        m_bShown = false;
    }
    ::SetEvent(m_evReady.Get());
    return TRUE;
}

void StartSplashThread(CSplashHolder& holder)
{
    auto* thread = new CSplashThread;
    if (!thread->m_evReady.IsValid() || !thread->CreateThread(CREATE_SUSPENDED)) {
        delete thread;
        return;
    }
    // Own handles: the thread object, with its handles, is gone once WM_QUIT ends it.
    HANDLE process = ::GetCurrentProcess();
    HANDLE ready = nullptr;
    HANDLE running = nullptr;
    ::DuplicateHandle(process, thread->m_evReady.Get(), process, &ready, SYNCHRONIZE, FALSE, 0);
    ::DuplicateHandle(process, thread->m_hThread, process, &running, SYNCHRONIZE, FALSE, 0);
    Common::Tools::CScopedHandle readyHandle(ready);
    Common::Tools::CScopedHandle runningHandle(running);
    holder.m_nThreadId = thread->m_nThreadID;
    bool* shown = &thread->m_bShown;
    thread->ResumeThread();

    // The thread ending early (it never should) also releases the wait.
    bool isShown = false;
    if (readyHandle.IsValid() && runningHandle.IsValid()) {
        const HANDLE handles[] = {readyHandle.Get(), runningHandle.Get()};
        isShown = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 && *shown;
    } else if (readyHandle.IsValid()) {
        isShown = ::WaitForSingleObject(readyHandle.Get(), INFINITE) == WAIT_OBJECT_0 && *shown;
    }
    if (isShown)
        ::Sleep(kShownPause);
}

CSplashHolder* StartSplash()
{
    if (g_CmdLine.m_bQuiet)
        return nullptr;
    auto* holder = new CSplashHolder;
    StartSplashThread(*holder);
    return holder;
}
