// The engine tests' stand-ins for a player's sound output, windows, events and decoder.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/audio.h"
#include "engine/media_player.h"
#include "platform/clock.h"
#include "platform/video_window.h"
#include "support/frame_marker.h"

namespace locket {

// True once `done` holds, false if it still does not after `ms`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
    for (int waited = 0; waited < ms && !done(); waited += 2)
        SleepMs(2);
    return done();
}

class CFakeAudio : public VAudio {
public:
    bool Open(int, int) override { return true; }
    int Close() override { return 1; }
    void Write(const uint8_t* data, int size) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytes.insert(m_bytes.end(), data, data + size);
        if (!firstWrite)
            firstWrite = std::chrono::steady_clock::now();
    }
    void SetVolume(int) override {}

    std::vector<uint8_t> Bytes() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }
    std::optional<std::chrono::steady_clock::time_point> firstWrite;  // read once writes ended

private:
    mutable std::mutex m_mutex;
    std::vector<uint8_t> m_bytes;
};

// Holds the threads that pass it while it is closed.
class CGate {
public:
    explicit CGate(bool held) : m_held(held) {}
    void Pass() {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++waiting;
        m_opened.wait(lock, [this] { return !m_held; });
        --waiting;
    }
    void Hold(bool held) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_held = held;
        }
        m_opened.notify_all();
    }
    std::atomic<int> waiting{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_held;  // protected by m_mutex
};

// A sound output whose writes block until its gate opens.
class CHeldAudio : public CFakeAudio {
public:
    void Write(const uint8_t* data, int size) override {
        gate.Pass();
        CFakeAudio::Write(data, size);
    }
    CGate gate{true};
};

struct DrawnPicture {
    int width = 0;
    int height = 0;
    int stride = 0;
    int pixelBytes = 3;
    std::vector<uint8_t> bgr;

    // The frame number the recorder tool draws into its pictures.
    int Frame() const { return ReadFrameNumber(bgr.data(), width, height, stride, pixelBytes); }
    double Mean(int x0, int y0, int w, int h) const {
        double sum = 0;
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                for (int c = 0; c < 3; ++c)
                    sum += bgr[y * stride + x * pixelBytes + c];
        return sum / (3.0 * w * h);
    }
};

// Lends fresh memory for every picture, filled with a pattern no decoder writes, and keeps
// every picture handed over.
class CFakeVideoWindow : public VVideoWindow {
public:
    CFakeVideoWindow(int width, int height, PixelLayout layout = PixelLayout::kBgr24)
        : m_layout(layout), m_size{width, height} {}

    WindowSize GetSize() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_size;
    }
    void SetSize(int width, int height) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_size = {width, height};
    }
    bool IsShown() const override { return m_shown.load(); }
    void SetShown(bool shown) { m_shown.store(shown); }

    PictureBuffer BeginPicture(int width, int height) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int bytes = BytesPerPixel(m_layout);
        // Rows padded past the picture, so a writer that ignores the stride shows.
        m_pending = {width, height, width * bytes + 8, bytes, {}};
        m_pending.bgr.assign(static_cast<size_t>(m_pending.stride) * height, 0x5C);
        return {m_pending.bgr.data(), m_pending.stride, m_layout};
    }
    void EndPicture(bool written) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (written)
            m_drawn.push_back(std::move(m_pending));
        m_pending = {};
    }

    size_t DrawCount() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_drawn.size();
    }
    std::vector<DrawnPicture> Drawn() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_drawn;
    }
    std::vector<int> Frames() const {
        std::vector<int> frames;
        for (const DrawnPicture& p : Drawn())
            frames.push_back(p.Frame());
        return frames;
    }
    DrawnPicture Last() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_drawn.empty() ? DrawnPicture{} : m_drawn.back();
    }
    void ClearDrawn() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_drawn.clear();
    }

private:
    const PixelLayout m_layout;
    std::atomic<bool> m_shown{true};
    mutable std::mutex m_mutex;
    WindowSize m_size;
    DrawnPicture m_pending;
    std::vector<DrawnPicture> m_drawn;
};

struct TextSeen {
    std::string bytes;  // with the NUL the player adds
    int timeMs;
    int frontsDrawn;  // pictures in the front window when the text arrived
};

// Counts a player's media-end events and keeps the text packets it delivers.
class CPlayerEvents {
public:
    void Attach(CTRSMediaPlayer* player, const CFakeVideoWindow* front) {
        m_front = front;
        player->SetEventCallback(
            [](void* self, int code, int, int) {
                if (code == CTRSMediaPlayer::kEventMediaEnd)
                    ++static_cast<CPlayerEvents*>(self)->ends;
            },
            this);
        player->SetTextCallback(
            [](void* context, const uint8_t* data, int size, int timeMs) {
                auto* self = static_cast<CPlayerEvents*>(context);
                int drawn = self->m_front ? static_cast<int>(self->m_front->DrawCount()) : 0;
                std::lock_guard<std::mutex> lock(self->m_mutex);
                self->m_texts.push_back({{data, data + size}, timeMs, drawn});
            },
            this);
    }
    std::vector<TextSeen> Texts() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_texts;
    }

    std::atomic<int> ends{0};

private:
    const CFakeVideoWindow* m_front = nullptr;
    mutable std::mutex m_mutex;
    std::vector<TextSeen> m_texts;
};

// Counts the front pictures it is asked to decode and notes when each came; how long decoding
// takes is beside the point.
class CFrontLog : public VMediaDecoder {
public:
    using Clock = std::chrono::steady_clock;

    bool Open() override { return true; }
    void Close() override {}
    bool DecodeFrame(int channel, VVideoWindow*, const uint8_t*, int, bool) override {
        if (channel == 0) {
            times.push_back(Clock::now());
            ++fronts;
        }
        return true;
    }
    bool Redraw(int, VVideoWindow*) override { return true; }
    void SetContrast(int, int) override {}
    void SetBrightness(int, int) override {}
    void SetFlip(int, int) override {}
    bool SaveFrame(int, const char*) override { return true; }

    // Where the ten pictures from `from` place picture `at`, `periodMs` apart, in ms after
    // `origin`: their median, so that one picture the scheduler held up does not move it.
    double Placed(size_t from, size_t at, double periodMs, Clock::time_point origin) const {
        std::vector<double> ms;
        for (size_t i = from; i < from + 10; ++i)
            ms.push_back(std::chrono::duration<double, std::milli>(times[i] - origin).count() +
                         (double(at) - double(i)) * periodMs);
        std::nth_element(ms.begin(), ms.begin() + 5, ms.end());
        return ms[5];
    }

    std::atomic<int> fronts{0};
    std::vector<Clock::time_point> times;  // read once the player has stopped
};

inline bool StartPlayer(CTRSMediaPlayer* player, VMediaParser* parser, VMediaDecoder* decoder,
                        VAudio* audio, CPlayerEvents* events = nullptr,
                        CFakeVideoWindow* front = nullptr, CFakeVideoWindow* rear = nullptr) {
    player->m_pParser = parser;
    player->m_pDecoder = decoder;
    player->m_pAudio = audio;
    if (events)
        events->Attach(player, front);
    return player->Start(front, rear);
}

}  // namespace locket
