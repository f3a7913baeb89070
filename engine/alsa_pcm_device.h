// The ALSA playback device: blocking writes into a ring of whole periods.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/pcm_device.h"

extern "C" {
typedef struct _snd_pcm snd_pcm_t;
}

namespace locket {

class CAlsaPcmDevice : public VPcmDevice {
public:
    explicit CAlsaPcmDevice(const char* name = "default") : m_name(name ? name : "default") {}
    ~CAlsaPcmDevice() override = default;
    CAlsaPcmDevice(const CAlsaPcmDevice&) = delete;
    CAlsaPcmDevice& operator=(const CAlsaPcmDevice&) = delete;

    int Open(int bits, int rate, int periodBytes, int periods) override;
    int Close() override;
    bool IsOpen() const override { return m_pcm != nullptr; }
    int FreePeriods() override;
    int BufferPeriods() const override;
    int Write(const uint8_t* data, int bytes) override;

private:
    struct PcmCloser {
        void operator()(snd_pcm_t* pcm) const;
    };

    std::string m_name;
    std::unique_ptr<snd_pcm_t, PcmCloser> m_pcm;
    int m_frameBytes = 2;
    // The period the caller asked for, in which free room is counted, and the ring's length.
    long m_periodFrames = 0;
    long m_bufferFrames = 0;
};

}  // namespace locket
