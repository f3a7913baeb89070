// A quick pass over a TAT recording for its text packets (the sensor records) alone: large
// reads, only the packet headers of pictures and sound looked at. The packet reader checks every
// payload and that the file is still there, which costs system calls per packet; a pass over a
// whole recording for its sensor records needs neither.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace locket {

// Calls `visit` with the time stamp (ms), payload and size of each whole text packet, in file
// order; a damaged stretch is skipped as the reader skips it. False when the file is not a TAT
// recording or cannot be read.
bool ScanTextPackets(
    const std::string& path,
    const std::function<void(uint32_t timeMs, const uint8_t* data, uint32_t size)>& visit);

}  // namespace locket
