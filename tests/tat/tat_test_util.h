// Helpers of the TAT tests: a temporary card folder and recordings with known packets.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tat/card_layout.h"
#include "tat/tat_format.h"
#include "tat/tat_writer.h"

namespace locket::test {

struct Packet {
    uint8_t stream = 0;
    uint8_t kind = 0;
    uint8_t flag = 0;
    uint32_t timeMs = 0;
    std::vector<uint8_t> data;
    bool operator==(const Packet&) const = default;
};

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tat-test-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        EXPECT_NE(made, nullptr);
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The packets a recorder writes for `frames` front frames: 24-frame groups, optional rear
// camera, an audio packet every third frame, a text record every fifth ('G', 'M', 'B' in turn).
inline std::vector<Packet> MakePackets(int frames, bool rear, uint32_t seed = 1) {
    std::vector<Packet> out;
    uint32_t state = seed;
    auto bytes = [&](size_t n) {
        std::vector<uint8_t> v(n);
        for (auto& b : v) {
            state = state * 1103515245u + 12345u;
            b = uint8_t(state >> 16);
        }
        return v;
    };
    const char letters[] = {'G', 'M', 'B'};
    for (int i = 0; i < frames; ++i) {
        uint32_t t = uint32_t(i) * 1000 / 30;
        out.push_back({0, uint8_t(i % 24 == 0 ? kTatKindGroupStart : kTatKindVideo),
                       uint8_t(i % 24 == 0), t, bytes(i % 24 == 0 ? 900 : 100 + (i * 37) % 300)});
        if (rear)
            out.push_back({1, kTatKindVideo, uint8_t(i % 24 == 0), t, bytes(60 + (i * 13) % 200)});
        if (i % 3 == 0)
            out.push_back({0, kTatKindAudio, 0, t, bytes(800)});
        if (i % 5 == 0) {
            std::vector<uint8_t> text = bytes(20);
            text[0] = uint8_t(letters[(i / 5) % 3]);
            out.push_back({0, kTatKindText, 0, t, text});
        }
    }
    return out;
}

inline TatRecordingDesc MakeDesc(bool rear) {
    TatRecordingDesc desc;
    desc.fps0 = 30;
    desc.fps1 = rear ? 15 : 0;
    desc.width0 = 1280;
    desc.height0 = 720;
    desc.width1 = rear ? 640 : 0;
    desc.height1 = rear ? 480 : 0;
    return desc;
}

// Writes the packets; finished normally, or cut like a power loss keeping `keepOfLast` bytes
// of the last packet.
inline bool WriteRecording(const std::string& path, const std::vector<Packet>& packets, bool rear,
                           bool finish = true, uint32_t keepOfLast = UINT32_MAX) {
    CTatWriter writer;
    if (!writer.Create(path, MakeDesc(rear)))
        return false;
    for (const Packet& p : packets)
        if (!writer.WritePacket(p.stream, p.kind, p.timeMs, p.data.data(), uint32_t(p.data.size()),
                                p.flag))
            return false;
    return finish ? writer.Finish() : writer.CutAsPowerLoss(keepOfLast);
}

// The file offset of packet `n` of a recording written from `packets`.
inline uint64_t PacketOffset(const std::vector<Packet>& packets, size_t n) {
    uint64_t offset = 512;
    for (size_t i = 0; i < n; ++i)
        offset += tatfmt::kPacketHeaderBytes + packets[i].data.size();
    return offset;
}

inline void PatchFile(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(f.good());
    f.seekp(std::streamoff(offset));
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_TRUE(f.good());
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
}

}  // namespace locket::test
