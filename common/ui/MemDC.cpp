// Off-screen drawing copied back in one blit.
#include "common/ui/MemDC.h"

namespace Common {
namespace Controls {
namespace Tools {

CMemDC::CMemDC(CDC* target) : m_pTargetDC(target)
{
    m_bOffscreen = ::GetDeviceCaps(target->GetSafeHdc(), TECHNOLOGY) != DT_RASPRINTER;
    if (m_bOffscreen)
    {
        ::GetClipBox(target->GetSafeHdc(), &m_rcClip);
        CreateCompatibleDC(target);
        m_Bitmap.CreateCompatibleBitmap(target->GetSafeHdc(), m_rcClip.Width(), m_rcClip.Height());
        m_pOldBitmap = SelectObject(&m_Bitmap);
        ::SetWindowOrgEx(m_hDC, m_rcClip.left, m_rcClip.top, nullptr);
    }
    else
    {
        // Shares the printer's handle: the destructor must not release it.
        m_hDC = target->GetSafeHdc();
        m_bOwned = false;
    }
}

CMemDC::~CMemDC()
{
    if (m_bOffscreen)
    {
        if (m_hDC)
        {
            m_pTargetDC->BitBlt(m_rcClip.left, m_rcClip.top, m_rcClip.Width(), m_rcClip.Height(), this,
                                m_rcClip.left, m_rcClip.top, SRCCOPY);
            if (m_pOldBitmap)
                SelectObject(m_pOldBitmap);
        }
        m_Bitmap.DeleteObject();
        DeleteDC();
    }
    else
    {
        m_hDC = nullptr;
    }
}

} // namespace Tools
} // namespace Controls
} // namespace Common
