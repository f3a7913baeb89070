// What the playback benchmarks hold the player and the viewer against: bare libavcodec decoding
// and libswscale scaling, and the process's CPU time.
#pragma once

#include <cstdint>
#include <vector>

namespace locket {

// Decodes the H.264 access units with a default libavcodec context and scales every picture
// to BGR24 of dstW x dstH as the player's decoder does; the wall seconds it took.
double BareDecodeAndScale(const std::vector<std::vector<uint8_t>>& packets, int dstW, int dstH);

// The same for two streams at once, a picture of each in turn at `fps` in real time as a
// player paces them: the decoder's caches go cold between pictures as they do in playback.
void BarePacedDecodeAndScale(const std::vector<std::vector<uint8_t>>& front, int frontW, int frontH,
                             const std::vector<std::vector<uint8_t>>& rear, int rearW, int rearH,
                             int fps);

// User and system CPU seconds of the whole process so far.
double ProcessCpuSeconds();

}  // namespace locket
