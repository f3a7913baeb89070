#include "engine/alsa_pcm_device.h"

#include <alsa/asoundlib.h>

#include <cerrno>
#include <cstdio>

namespace locket {

void CAlsaPcmDevice::PcmCloser::operator()(snd_pcm_t* pcm) const {
    snd_pcm_close(pcm);
}

int CAlsaPcmDevice::Open(int bits, int rate, int periodBytes, int periods) {
    m_pcm.reset();
    if ((bits != 8 && bits != 16) || rate <= 0 || periodBytes <= 0 || periods <= 0)
        return -EINVAL;
    snd_pcm_t* raw = nullptr;
    int r = snd_pcm_open(&raw, m_name.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
    if (r < 0) {
        std::printf("[CAlsaPcmDevice] open %s failed: %s\n", m_name.c_str(), snd_strerror(r));
        return r;
    }
    std::unique_ptr<snd_pcm_t, PcmCloser> pcm(raw);

    int frameBytes = bits / 8;
    const long askedPeriod = periodBytes / frameBytes;
    snd_pcm_uframes_t period = askedPeriod;
    snd_pcm_uframes_t buffer = period * periods;
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    unsigned int exactRate = static_cast<unsigned int>(rate);
    if ((r = snd_pcm_hw_params_any(pcm.get(), hw)) < 0 ||
        (r = snd_pcm_hw_params_set_access(pcm.get(), hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (r = snd_pcm_hw_params_set_format(
             pcm.get(), hw, bits == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE)) < 0 ||
        (r = snd_pcm_hw_params_set_channels(pcm.get(), hw, 1)) < 0 ||
        (r = snd_pcm_hw_params_set_rate_near(pcm.get(), hw, &exactRate, nullptr)) < 0 ||
        (r = snd_pcm_hw_params_set_period_size_near(pcm.get(), hw, &period, nullptr)) < 0 ||
        (r = snd_pcm_hw_params_set_buffer_size_near(pcm.get(), hw, &buffer)) < 0 ||
        (r = snd_pcm_hw_params(pcm.get(), hw)) < 0) {
        std::printf("[CAlsaPcmDevice] set-up of %s failed: %s\n", m_name.c_str(), snd_strerror(r));
        return r;
    }
    // The ring as installed, which may be longer than the periods asked for.
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    if ((r = snd_pcm_prepare(pcm.get())) < 0)
        return r;
    m_frameBytes = frameBytes;
    m_periodFrames = askedPeriod;
    m_bufferFrames = static_cast<long>(buffer);
    m_pcm = std::move(pcm);
    return 0;
}

int CAlsaPcmDevice::Close() {
    if (!m_pcm)
        return -EBADFD;
    int r = snd_pcm_close(m_pcm.release());
    return r < 0 ? r : 0;
}

int CAlsaPcmDevice::FreePeriods() {
    if (!m_pcm)
        return -EBADFD;
    snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm.get());
    if (avail == -EPIPE || avail == -ESTRPIPE) {
        // An underrun between recordings or while paused is normal: start over.
        int r = snd_pcm_recover(m_pcm.get(), static_cast<int>(avail), 1);
        if (r < 0)
            return r;
        avail = snd_pcm_avail_update(m_pcm.get());
    }
    if (avail < 0)
        return static_cast<int>(avail);
    return m_periodFrames > 0 ? static_cast<int>(avail / m_periodFrames) : 0;
}

int CAlsaPcmDevice::BufferPeriods() const {
    return m_pcm && m_periodFrames > 0 ? static_cast<int>(m_bufferFrames / m_periodFrames) : 0;
}

int CAlsaPcmDevice::Write(const uint8_t* data, int bytes) {
    if (!m_pcm)
        return -EBADFD;
    snd_pcm_uframes_t frames = bytes / m_frameBytes;
    if (frames == 0)
        return 0;
    snd_pcm_sframes_t r = snd_pcm_writei(m_pcm.get(), data, frames);
    if (r == -EPIPE || r == -ESTRPIPE) {
        int rr = snd_pcm_recover(m_pcm.get(), static_cast<int>(r), 1);
        if (rr < 0)
            return rr;
        r = snd_pcm_writei(m_pcm.get(), data, frames);
    }
    if (r < 0)
        return static_cast<int>(r);
    return static_cast<int>(r) * m_frameBytes;
}

}  // namespace locket
