#include "tools/locket-record/frame_marker_painter.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace locket {

namespace {

constexpr int kCols = 12;
constexpr int kRows = 2;

int CheckBits(int n) {
    return (n ^ (n >> 4) ^ (n >> 8) ^ (n >> 12) ^ 0xA) & 0xF;
}

}  // namespace

int FrameMarkerCell(int width, int height) {
    int cell = std::max(8, width / 48);
    cell = std::min({cell, width / kCols, height / (kRows * 3)});
    return std::max(cell & ~1, 2);
}

void PaintFrameMarker(cv::Mat& bgr, int frame) {
    const int cell = FrameMarkerCell(bgr.cols, bgr.rows);
    const int n = frame & 0xFFFF;
    int bits[kRows][kCols] = {};
    bits[0][0] = 1;
    bits[1][1] = 1;
    for (int i = 0; i < 10; ++i)
        bits[0][2 + i] = (n >> (15 - i)) & 1;
    for (int i = 0; i < 6; ++i)
        bits[1][2 + i] = (n >> (5 - i)) & 1;
    const int check = CheckBits(n);
    for (int i = 0; i < 4; ++i)
        bits[1][8 + i] = (check >> (3 - i)) & 1;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            const cv::Scalar colour = bits[r][c] ? cv::Scalar(255, 255, 255) : cv::Scalar(0, 0, 0);
            cv::rectangle(bgr, cv::Rect(c * cell, r * cell, cell, cell), colour, cv::FILLED);
        }
    }
}

}  // namespace locket
