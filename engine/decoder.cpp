#include "engine/decoder.h"

#include <algorithm>
#include <cstdio>

#include <opencv2/core.hpp>

namespace locket {

namespace {

int ClampChannel(int channel) {
    return std::clamp(channel, 0, CDecoder::kChannels - 1);
}

// cv::flip codes of the mirror modes; 2 means none.
int FlipCode(int mode) {
    switch (mode) {
        case 1:
            return 0;
        case 2:
            return -1;
        case 3:
            return 1;
        default:
            return 2;
    }
}

}  // namespace

CDecoder::~CDecoder() {
    Close();
}

float CDecoder::ContrastOfLevel(int level) {
    return std::clamp(level / 10.0f + 1.0f, 0.01f, 2.0f);
}

bool CDecoder::Open() {
    CSyncLock lock(m_lock);
    // A channel that fails to open keeps failing its decodes; the other one still plays.
    for (auto& channel : m_channels)
        channel.Open();
    return true;
}

void CDecoder::Close() {
    CSyncLock lock(m_lock);
    for (auto& channel : m_channels)
        channel.Close();
}

bool CDecoder::DecodeFrame(int channel, VVideoWindow* window, const uint8_t* data, int size,
                           bool show) {
    if (channel < 0 || channel >= kChannels)
        return false;
    CSyncLock lock(m_lock);
    if (!window) {
        // Decoded all the same, so the channel stays in step with its stream.
        m_channels[channel].Decode(data, size);
        std::printf("[CDecoder] channel %d: no window\n", channel);
        return false;
    }
    WindowSize ws = window->GetSize();
    if (ws.width <= 0 || ws.height <= 0) {
        // A hidden picture is not worth decoding, but what follows it then lacks references.
        m_channels[channel].Skip();
        return false;
    }
    m_channels[channel].Decode(data, size);
    // A hidden window keeps its size (full screen hides one of two full-size views), so only
    // its own word says whether the picture is seen: decoded to stay in step, never scaled.
    if (!show || !window->IsShown())
        return true;
    Present(channel, window, ws.width, ws.height);
    return true;
}

bool CDecoder::Redraw(int channel, VVideoWindow* window) {
    if (channel < 0 || channel >= kChannels || !window)
        return false;
    WindowSize ws = window->GetSize();
    if (ws.width <= 0 || ws.height <= 0 || !window->IsShown())
        return false;
    CSyncLock lock(m_lock);
    Present(channel, window, ws.width, ws.height);
    return true;
}

bool CDecoder::Present(int channel, VVideoWindow* window, int w, int h) {
    CFFMH264_Decoder& decoder = m_channels[channel];
    // Before the first picture the window keeps what it shows.
    if (decoder.GetWidth() <= 0)
        return false;
    const PictureBuffer target = window->BeginPicture(w, h);
    if (!target.pixels)
        return false;
    // Scaled anew for every draw, also when the packet gave no picture: the window's memory may
    // hold any earlier picture, mirrored or not.
    if (!decoder.Scale(target.pixels, target.stride, w, h, target.layout)) {
        window->EndPicture(false);
        return false;
    }
    const int code = FlipCode(m_flip[channel]);
    if (code != 2) {
        cv::Mat pixels(h, w, CV_8UC(BytesPerPixel(target.layout)), target.pixels,
                       static_cast<size_t>(target.stride));
        cv::flip(pixels, pixels, code);
    }
    window->EndPicture(true);
    return true;
}

void CDecoder::SetContrast(int channel, int level) {
    CSyncLock lock(m_lock);
    m_channels[ClampChannel(channel)].SetContrast(ContrastOfLevel(level));
}

void CDecoder::SetBrightness(int channel, int level) {
    CSyncLock lock(m_lock);
    m_channels[ClampChannel(channel)].SetBrightness(BrightnessOfLevel(level));
}

void CDecoder::SetFlip(int channel, int mode) {
    CSyncLock lock(m_lock);
    m_flip[ClampChannel(channel)] = mode;
}

bool CDecoder::SaveFrame(int channel, const char* path) {
    if (!path)
        return false;
    CSyncLock lock(m_lock);
    CFFMH264_Decoder& decoder = m_channels[ClampChannel(channel)];
    int w = decoder.GetWidth();
    int h = decoder.GetHeight();
    if (w <= 0 || h <= 0)
        return false;
    CVipImage picture(w, h, 3);
    decoder.Scale(picture.WritableData(), picture.Stride(), w, h);
    return picture.SaveImage(path);
}

}  // namespace locket
