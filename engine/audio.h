// The sound output the engine writes PCM to.
#pragma once

#include <cstdint>

namespace locket {

class VAudio {
public:
    static constexpr int kFullVolume = 0xFFFF;

    virtual ~VAudio() = default;

    // Mono PCM of `bits` per sample at `rate` samples per second. False: the output is silent.
    virtual bool Open(int bits, int rate) = 0;
    // 1 on success, -1 on failure.
    virtual int Close() = 0;
    // Plays PCM bytes; blocks until the device has taken them (at most one buffer per call).
    virtual void Write(const uint8_t* data, int size) = 0;
    // Playback gain 0 (silent) .. kFullVolume, applied to the samples.
    virtual void SetVolume(int level) = 0;
};

}  // namespace locket
