// GDI+ started for the whole run of the program.
#include "setup/engine/GdiplusScope.h"

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

CGdiplusScope::CGdiplusScope()
{
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
}

CGdiplusScope::~CGdiplusScope()
{
    if (m_token != 0)
        Gdiplus::GdiplusShutdown(m_token);
}
