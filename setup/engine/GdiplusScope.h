// GDI+ started for the whole run of the program.
#pragma once

#include <windows.h>

// GDI+ started for the whole run of the program; shut down when the object goes,
// which is before the application object is destroyed.
class CGdiplusScope
{
public:
    CGdiplusScope();
    ~CGdiplusScope();
    CGdiplusScope(const CGdiplusScope&) = delete;
    CGdiplusScope& operator=(const CGdiplusScope&) = delete;

private:
    ULONG_PTR m_token = 0;
};
