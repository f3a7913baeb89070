// Draws the frame number as a row of black and white cells in the top-left corner of a picture,
// so that tests can tell which frame a decoded picture is (read back by tests/support).
#pragma once

#include <opencv2/core.hpp>

namespace locket {

// Side of one marker cell in pixels for a picture of this size (at least 8 where it fits).
int FrameMarkerCell(int width, int height);

// Paints frame number `frame` (taken modulo 65536) into an 8-bit BGR picture.
void PaintFrameMarker(cv::Mat& bgr, int frame);

}  // namespace locket
