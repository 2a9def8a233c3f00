// BMP files written byte by byte for tests.
#pragma once

#include "tests/support/PackageFixture.h"

#include <functional>

namespace TestSupport {

// A 24-bit BMP file, written byte by byte: pixel (x, y), counted from the top
// left, gets the colour pixel(x, y) as 0xRRGGBB.
inline Bytes Bitmap24(int width, int height, const std::function<DWORD(int x, int y)>& pixel)
{
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    const DWORD headersSize = 14 + 40;
    Bytes bytes;
    const auto word = [&bytes](DWORD value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<BYTE>(value >> shift));
    };
    const auto half = [&bytes](WORD value) {
        bytes.push_back(static_cast<BYTE>(value));
        bytes.push_back(static_cast<BYTE>(value >> 8));
    };
    // BITMAPFILEHEADER
    bytes.push_back('B');
    bytes.push_back('M');
    word(headersSize + imageSize);
    word(0);
    word(headersSize);
    // BITMAPINFOHEADER: positive height, so the rows are stored bottom-up.
    word(40);
    word(static_cast<DWORD>(width));
    word(static_cast<DWORD>(height));
    half(1);
    half(24);
    word(BI_RGB);
    word(imageSize);
    word(2835);
    word(2835);
    word(0);
    word(0);
    for (int row = height - 1; row >= 0; --row) {
        for (int x = 0; x < width; ++x) {
            const DWORD color = pixel(x, row);
            bytes.push_back(static_cast<BYTE>(color));
            bytes.push_back(static_cast<BYTE>(color >> 8));
            bytes.push_back(static_cast<BYTE>(color >> 16));
        }
        for (DWORD pad = static_cast<DWORD>(width) * 3; pad < stride; ++pad)
            bytes.push_back(0);
    }
    return bytes;
}

} // namespace TestSupport
