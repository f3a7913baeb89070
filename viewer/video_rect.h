// Where the large picture goes in a full-screen client area.
#pragma once

#include <array>

namespace locket {

// x, y, width, height for a client of the given size: 1920 x 1080 on clients of at least
// 1920 x 1248, else the largest 1.7:1 picture that leaves room for the bars; all multiples of 4.
std::array<int, 4> VideoRectForClient(int width, int height);

}  // namespace locket
