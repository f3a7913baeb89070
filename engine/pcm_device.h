// The PCM device under the wave output, kept behind an interface so the buffer accounting can
// be driven without a sound card.
#pragma once

#include <cstdint>

namespace locket {

class VPcmDevice {
public:
    virtual ~VPcmDevice() = default;

    // Mono, `bits` per sample, `periods` periods of `periodBytes`. 0 or a negative errno.
    virtual int Open(int bits, int rate, int periodBytes, int periods) = 0;
    // 0 or a negative errno; closes without draining.
    virtual int Close() = 0;
    virtual bool IsOpen() const = 0;
    // Whole periods of Open's `periodBytes` the device can take now, or a negative errno.
    virtual int FreePeriods() = 0;
    // Whole periods of `periodBytes` the device's ring holds as negotiated; may exceed `periods`.
    virtual int BufferPeriods() const = 0;
    // Queues `bytes` (whole frames, at most one period); bytes taken or a negative errno.
    virtual int Write(const uint8_t* data, int bytes) = 0;
};

}  // namespace locket
