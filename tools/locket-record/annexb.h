// Small helpers for H.264 Annex B byte streams as the recorder stores them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace locket {

// Makes the stream open with a 4-byte start code (00 00 00 01): a 3-byte one gets a zero in
// front. False when the data does not open with a start code at all.
bool EnsureLongStartCode(std::vector<uint8_t>* au);

// NAL unit type (low 5 bits) of the first NAL unit, -1 when there is none.
int FirstNalType(const uint8_t* data, size_t size);

// The player's key-frame test: the byte after a 4-byte start code is not a non-IDR slice
// header (0x41).
bool LooksLikeKeyFrame(const uint8_t* data, size_t size);

}  // namespace locket
