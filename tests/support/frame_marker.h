// Reads back the frame number that locket-record draws into the top-left corner of every
// picture, from a decoded BGR picture, at any scale the player may have applied.
//
// The marker is a grid of 12 x 2 cells starting at pixel (0, 0); white is 1, black is 0:
//   row 0: W B  bits 15..6
//   row 1: B W  bits 5..0  check 3..0
// The check bits keep a blank or a saturated area from passing for a marker.
#pragma once

#include <algorithm>
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
    auto at = [](double p, int size) { return std::clamp(static_cast<int>(p), 0, size - 1); };
    int cells = 0;  // one bit a cell, row by row, the first cell highest
    int worst = 255;
    for (int r = 0; r < kMarkerRows; ++r) {
        for (int c = 0; c < kMarkerCols; ++c) {
            const double cx = (c + 0.5) * cw;
            const double cy = (r + 0.5) * ch;
            int sum = 0, lo = 255, hi = 0;
            for (int j = -1; j <= 1; ++j) {
                for (int i = -1; i <= 1; ++i) {
                    const int v =
                        luma(at(cx + i * cw * 0.25, width), at(cy + j * ch * 0.25, height));
                    sum += v;
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                }
            }
            if (lo < 128 && hi >= 128)
                return -1;  // the samples straddle a cell edge: wrong grid
            const int mean = sum / 9;
            cells = (cells << 1) | (mean >= 128 ? 1 : 0);
            worst = std::min(worst, mean >= 128 ? mean - 128 : 127 - mean);
        }
    }
    const int n = (((cells >> 12) & 0x3FF) << 6) | ((cells >> 4) & 0x3F);
    if ((cells & 0xC00C00) != 0x800400 || (cells & 0xF) != FrameMarkerCheck(n))
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
    int runX = 0;
    while (runX < width && luma(runX, 2) >= 128)
        ++runX;
    int runY = 0;
    while (runY < height && luma(2, runY) >= 128)
        ++runY;
    if (runX < 2 || runY < 2 || runX >= width || runY >= height)
        return -1;
    int margin = 0;
    int n = ReadMarkerGrid(luma, width, height, runX, runY, &margin);
    if (n >= 0)
        return n;
    // Blurred edges move the measured runs a little: search around them for the cleanest grid.
    int best = -1, bestMargin = -1;
    const double stepX = std::max(runX * 0.02, 0.25), stepY = std::max(runY * 0.02, 0.25);
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
