// A video decoder for tests: records what it is asked to decode and redraw.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "engine/fakes/fake_parser.h"
#include "engine/media_decoder.h"

namespace locket {

struct DecodeCall {
    int channel;
    int index;  // frame index carried by the fake payload
    bool show;
};

class CFakeDecoder : public VMediaDecoder {
public:
    // Runs on the player thread inside each front decode (e.g. to seek at a known frame).
    std::function<void(int index)> onFront;

    bool Open() override {
        ++opens;
        return true;
    }
    void Close() override {}
    bool DecodeFrame(int channel, VVideoWindow*, const uint8_t* data, int size,
                     bool show) override {
        int index = size >= 7 ? VideoIndex(data) : -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back({channel, index, show});
        }
        if (channel == 0 && onFront)
            onFront(index);
        return true;
    }
    bool Redraw(int channel, VVideoWindow*) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_redraws[channel & 1];
        return true;
    }
    void SetContrast(int, int) override {}
    void SetBrightness(int, int) override {}
    void SetFlip(int, int) override {}
    bool SaveFrame(int, const char*) override { return true; }

    std::vector<DecodeCall> Calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    std::vector<int> Indices(int channel) const {
        std::vector<int> out;
        for (const auto& c : Calls())
            if (c.channel == channel)
                out.push_back(c.index);
        return out;
    }
    int Redraws(int channel) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_redraws[channel & 1];
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
        m_redraws[0] = m_redraws[1] = 0;
    }

    int opens = 0;

private:
    mutable std::mutex m_mutex;
    std::vector<DecodeCall> m_calls;
    int m_redraws[2] = {0, 0};
};

}  // namespace locket
