// Tests of the off-screen drawing.
#include "common/ui/MemDC.h"

#include "tests/support/DrawSurface.h"

#include <gtest/gtest.h>

using Common::Controls::Tools::CMemDC;
using TestSupport::CDrawSurface;

namespace {

TEST(MemDCTest, CopiesTheClipBoxBackInTargetCoordinates)
{
    const COLORREF outside = RGB(255, 0, 255);
    CDrawSurface target(100, 80, outside);
    HRGN clip = ::CreateRectRgn(30, 20, 70, 50);
    ::SelectClipRgn(target.m_dc, clip);
    ::DeleteObject(clip);
    {
        CMemDC mem(&target.m_dc);
        EXPECT_TRUE(mem.m_bOffscreen);
        EXPECT_EQ(CRect(30, 20, 70, 50), mem.m_rcClip);
        // Drawn in the target's coordinates: the left half of the clip box red.
        mem.FillSolidRect(0, 0, 50, 80, RGB(255, 0, 0));
        mem.FillSolidRect(50, 0, 50, 80, RGB(0, 0, 255));
        // Nothing reaches the target before the end.
        EXPECT_EQ(outside, target.m_dc.GetPixel(40, 30));
    }
    ::SelectClipRgn(target.m_dc, nullptr);
    EXPECT_EQ(RGB(255, 0, 0), target.m_dc.GetPixel(30, 20));
    EXPECT_EQ(RGB(255, 0, 0), target.m_dc.GetPixel(49, 49));
    EXPECT_EQ(RGB(0, 0, 255), target.m_dc.GetPixel(50, 20));
    EXPECT_EQ(RGB(0, 0, 255), target.m_dc.GetPixel(69, 49));
    // Outside the clip box the target keeps its pixels.
    EXPECT_EQ(outside, target.m_dc.GetPixel(29, 20));
    EXPECT_EQ(outside, target.m_dc.GetPixel(70, 30));
    EXPECT_EQ(outside, target.m_dc.GetPixel(40, 50));
    EXPECT_EQ(outside, target.m_dc.GetPixel(40, 19));
}

TEST(MemDCTest, WholeSurfaceWithoutClipRegion)
{
    CDrawSurface target(40, 30, RGB(0, 0, 0));
    {
        CMemDC mem(&target.m_dc);
        EXPECT_EQ(CRect(0, 0, 40, 30), mem.m_rcClip);
        mem.FillSolidRect(0, 0, 40, 30, RGB(0, 128, 0));
    }
    EXPECT_EQ(RGB(0, 128, 0), target.m_dc.GetPixel(0, 0));
    EXPECT_EQ(RGB(0, 128, 0), target.m_dc.GetPixel(39, 29));
}

} // namespace
