// Off-screen drawing copied back in one blit.
#pragma once

#include "framework/Gdi.h"

namespace Common {
namespace Controls {
namespace Tools {

// Draws off-screen over the target's clip box and copies the result back in one
// block when destroyed; on a printer it draws on the target directly.
class CMemDC : public CDC
{
public:
    explicit CMemDC(CDC* target);
    ~CMemDC() override;
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    CBitmap m_Bitmap;
    HGDIOBJ m_pOldBitmap = nullptr;
    CDC* m_pTargetDC = nullptr;
    CRect m_rcClip;
    bool m_bOffscreen = false;
};

} // namespace Tools
} // namespace Controls
} // namespace Common
