// A recording reader for tests: plays a scripted list of packets and seeks like the TAT parser
// (to the key-frame group of a time, answering the whole second reached).
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "files/media_parser.h"

namespace locket {

struct ScriptedPacket {
    std::string id;  // "00dc", "01dc", "02wb", "03tx", or anything else
    std::vector<uint8_t> bytes;
    int frame = -1;  // front frame index of a front video packet
};

// Video payload: start code, NAL header (key or not), then the frame index.
inline std::vector<uint8_t> VideoPayload(bool key, int index) {
    return {0,
            0,
            0,
            1,
            static_cast<uint8_t>(key ? 0x65 : 0x41),
            static_cast<uint8_t>(index & 0xFF),
            static_cast<uint8_t>(index >> 8)};
}
inline int VideoIndex(const uint8_t* data) {
    return data[5] | (data[6] << 8);
}

class CFakeParser : public VMediaParser {
public:
    // All set before the player opens the recording.
    std::vector<ScriptedPacket> packets;
    int fps0 = 30;
    int fps1 = 0;
    int groupLength = 30;
    bool refuse = false;
    uint32_t bits = 16;
    uint32_t rate = 8000;
    // A size larger than the buffer, reported for text packets (a misbehaving reader).
    uint32_t reportTextSize = 0;

    void AddFront(int index, bool key) {
        packets.push_back({"00dc", VideoPayload(key, index), index});
    }
    void AddRear(int index, bool key) { packets.push_back({"01dc", VideoPayload(key, index)}); }
    void AddAudio(std::vector<uint8_t> pcm) { packets.push_back({"02wb", std::move(pcm)}); }
    void AddText(const std::string& text) {
        packets.push_back({"03tx", std::vector<uint8_t>(text.begin(), text.end())});
    }
    // Front frames [0, count) in groups, with `audioEvery` and `textEvery` packets in between.
    void AddStream(int count, int audioEvery, int textEvery) {
        for (int i = 0; i < count; ++i) {
            AddFront(i, i % groupLength == 0);
            if (audioEvery > 0 && i % audioEvery == 0)
                AddAudio(std::vector<uint8_t>(320, static_cast<uint8_t>(i)));
            if (textEvery > 0 && i % textEvery == 0)
                AddText("T" + std::to_string(i));
        }
    }

    int FrontCount() const {
        return static_cast<int>(
            std::count_if(packets.begin(), packets.end(),
                          [](const ScriptedPacket& p) { return p.id == "00dc"; }));
    }

    bool StartReader() override {
        ++starts;
        return true;
    }
    void StopReader() override { ++stops; }
    uint32_t OpenMedia(const char*, MediaInfo* info) override {
        ++opens;
        m_open = !refuse;
        m_pos = 0;
        if (refuse)
            return 0;
        if (info) {
            info->fps0 = fps0;
            info->fps1 = fps1;
            info->frameCount0 = FrontCount();
        }
        return 1;
    }
    void CloseMedia() override {
        ++closes;
        m_open = false;
    }
    int32_t ReadPacket(uint8_t*, uint32_t*) override { return kPacketNone; }
    int32_t ParseMedia(char id[4], uint8_t* buffer, uint32_t* size) override {
        if (!m_open || m_pos >= packets.size())
            return -1;
        const ScriptedPacket& p = packets[m_pos++];
        std::memcpy(id, p.id.c_str(), 4);
        uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(p.bytes.size()), *size);
        std::memcpy(buffer, p.bytes.data(), n);
        *size = n;
        if (p.id == "03tx" && reportTextSize)
            *size = reportTextSize;
        if (p.id == "02wb")
            audioDelivered.fetch_add(1);
        return 4;
    }
    bool BuildIndex(const char*, MediaInfo*) override { return false; }
    void SetParam(uint32_t) override {}
    VideoSize GetVideoSize(int) override { return {}; }
    int32_t GetFrameRate(int stream) override { return stream == 0 ? fps0 : fps1; }
    uint32_t GetAudioFormat(uint32_t* b, uint32_t* r) override {
        *b = bits;
        *r = rate;
        return rate;
    }
    uint32_t ReadRaw(void*, uint32_t) override { return 0; }
    int32_t SeekRaw(int32_t, int) override { return 0; }
    int32_t TellRaw() override { return 0; }
    int32_t GetTotalFrames() override { return 0; }
    int32_t SeekTime(float seconds) override {
        lastSeek.store(seconds);
        seeks.fetch_add(1);
        int f = fps0 > 0 ? fps0 : 30;
        int group = static_cast<int>(f * seconds / groupLength);
        int frame = group * groupLength;
        for (size_t i = 0; i < packets.size(); ++i)
            if (packets[i].id == "00dc" && packets[i].frame == frame) {
                m_pos = i;
                break;
            }
        return frame / f;
    }
    bool SeekSnapsToSecond() override { return true; }

    std::atomic<int> starts{0}, stops{0}, opens{0}, closes{0}, seeks{0};
    std::atomic<int> audioDelivered{0};
    std::atomic<float> lastSeek{-1};

private:
    // Only touched by OpenMedia, CloseMedia, ParseMedia and SeekTime, which the player
    // serialises under its lock.
    bool m_open = false;
    size_t m_pos = 0;
};

}  // namespace locket
