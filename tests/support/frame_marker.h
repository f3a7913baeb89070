// Reads back the frame number that locket-record draws into the top-left corner of every
// picture, from a decoded BGR picture, at any scale the player may have applied.
//
// The marker is a grid of 12 x 2 cells starting at pixel (0, 0); white is 1, black is 0:
//   row 0: W B  bits 15..6
//   row 1: B W  bits 5..0  check 3..0
// check = (n ^ n >> 4 ^ n >> 8 ^ n >> 12 ^ 0xA) & 0xF, so neither a blank nor a saturated area
// passes for a marker.
#pragma once

#include <cstddef>
#include <cstdint>

namespace locket {

namespace marker_detail {

constexpr int kMarkerCols = 12;
constexpr int kMarkerRows = 2;

inline int FrameMarkerCheck(int n) {
    return (n ^ (n >> 4) ^ (n >> 8) ^ (n >> 12) ^ 0xA) & 0xF;
}

// Reads the grid with cells of cw x ch pixels. Every cell is sampled at 3 x 3 points around its
// centre, all of which must fall clearly on one side; returns the number or -1, and the
// smallest distance of a cell's mean from the threshold in *margin.
template <class Luma>
int ReadMarkerGrid(const Luma& luma, int width, int height, double cw, double ch, int* margin) {
    if (cw * kMarkerCols > width + 0.5 || ch * kMarkerRows > height + 0.5)
        return -1;
    int bits[kMarkerRows][kMarkerCols];
    int worst = 255;
    for (int r = 0; r < kMarkerRows; ++r) {
        for (int c = 0; c < kMarkerCols; ++c) {
            const double cx = (c + 0.5) * cw;
            const double cy = (r + 0.5) * ch;
            int sum = 0, lo = 255, hi = 0;
            for (int j = -1; j <= 1; ++j) {
                for (int i = -1; i <= 1; ++i) {
                    int x = static_cast<int>(cx + i * cw * 0.25);
                    int y = static_cast<int>(cy + j * ch * 0.25);
                    x = x < 0 ? 0 : (x >= width ? width - 1 : x);
                    y = y < 0 ? 0 : (y >= height ? height - 1 : y);
                    const int v = luma(x, y);
                    sum += v;
                    lo = v < lo ? v : lo;
                    hi = v > hi ? v : hi;
                }
            }
            if (lo < 128 && hi >= 128)
                return -1;  // the samples straddle a cell edge: wrong grid
            const int mean = sum / 9;
            bits[r][c] = mean >= 128 ? 1 : 0;
            const int d = mean >= 128 ? mean - 128 : 127 - mean;
            worst = d < worst ? d : worst;
        }
    }
    if (bits[0][0] != 1 || bits[0][1] != 0 || bits[1][0] != 0 || bits[1][1] != 1)
        return -1;
    int n = 0;
    for (int c = 2; c < kMarkerCols; ++c)
        n = (n << 1) | bits[0][c];
    for (int c = 2; c < 8; ++c)
        n = (n << 1) | bits[1][c];
    int check = 0;
    for (int c = 8; c < kMarkerCols; ++c)
        check = (check << 1) | bits[1][c];
    if (check != FrameMarkerCheck(n))
        return -1;
    *margin = worst;
    return n;
}

template <class Luma>
int ReadMarker(const Luma& luma, int width, int height) {
    if (width < kMarkerCols * 2 || height < kMarkerRows * 2)
        return -1;
    // The white first cell ends where the black second cell (right) and the black cell below
    // begin: their edges give the cell size, also when the picture was scaled unevenly.
    const int scanY = 2 < height ? 2 : height - 1;
    const int scanX = 2 < width ? 2 : width - 1;
    if (luma(0, scanY) < 128 || luma(scanX, 0) < 128)
        return -1;
    int runX = 0;
    while (runX < width && luma(runX, scanY) >= 128)
        ++runX;
    int runY = 0;
    while (runY < height && luma(scanX, runY) >= 128)
        ++runY;
    if (runX < 2 || runY < 2 || runX >= width || runY >= height)
        return -1;
    int margin = 0;
    int n = ReadMarkerGrid(luma, width, height, runX, runY, &margin);
    if (n >= 0)
        return n;
    // Blurred edges move the measured runs a little: search around them for the cleanest grid.
    int best = -1, bestMargin = -1;
    const double stepX = runX * 0.02 > 0.25 ? runX * 0.02 : 0.25;
    const double stepY = runY * 0.02 > 0.25 ? runY * 0.02 : 0.25;
    for (double cw = runX * 0.85; cw <= runX * 1.15; cw += stepX) {
        for (double ch = runY * 0.85; ch <= runY * 1.15; ch += stepY) {
            const int v = ReadMarkerGrid(luma, width, height, cw, ch, &margin);
            if (v >= 0 && margin > bestMargin) {
                best = v;
                bestMargin = margin;
            }
        }
    }
    return best;
}

}  // namespace marker_detail

// The frame number (0..65535) drawn in a BGR picture of 3 bytes a pixel (or 4: BGRX), -1 when
// no marker is found.
inline int ReadFrameNumber(const uint8_t* bgr, int width, int height, int stride,
                           int pixelBytes = 3) {
    if (bgr == nullptr || width <= 0 || height <= 0 || stride < width * pixelBytes)
        return -1;
    auto luma = [&](int x, int y) {
        const uint8_t* p = bgr + static_cast<size_t>(y) * stride + x * pixelBytes;
        return (p[0] + 2 * p[1] + p[2]) / 4;
    };
    return marker_detail::ReadMarker(luma, width, height);
}

}  // namespace locket
