// Pictures encoded to H.264 access units at run time with libavcodec's x264 encoder.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace locket {

using Packet = std::vector<uint8_t>;
// Paints the luma plane of frame `index`; chroma stays neutral grey.
using LumaPainter = std::function<void(uint8_t* y, int stride, int width, int height, int index)>;

// Annex B access units, one per frame, key frame first (and every `gop` frames).
std::vector<Packet> EncodeH264(int width, int height, int frames, const LumaPainter& paint,
                               int gop = 24);

// A painter filling the whole picture with one luma value.
LumaPainter UniformLuma(uint8_t value);

// A painter drawing the recorder's frame marker of number `first + index` on black.
LumaPainter MarkedFrames(int first = 0);

}  // namespace locket
