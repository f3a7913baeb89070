// A card folder made at test time, recordings written packet by packet with known bytes, and
// helpers that read a recording back through CTATParser.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "files/tat_parser.h"
#include "tat/card_layout.h"
#include "tat/tat_library.h"
#include "tat/tat_writer.h"

namespace locket::test {

struct TestPacket {
    uint8_t stream = 0;
    uint8_t kind = kTatKindVideo;
    uint32_t timeMs = 0;
    std::vector<uint8_t> bytes;
};

// What the parser should hand out for a packet written with this stream and kind.
inline std::string ExpectedChunkId(const TestPacket& p) {
    switch (p.kind) {
        case kTatKindGroupStart:
        case kTatKindVideo:
            return p.stream == 0 ? "00dc" : "01dc";
        case kTatKindAudio:
            return "02wb";
        default:
            return "03tx";
    }
}

struct RecordingPlan {
    int seconds = 3;
    int fps = 30;
    bool rear = true;
    bool audio = true;
    bool text = true;
    uint32_t seed = 1;
    uint32_t extraFrontBytes = 0;  // added to every front packet, to fill the read-ahead queue
};

// Bytes that differ from packet to packet and recording to recording.
inline std::vector<uint8_t> PatternBytes(uint32_t seed, uint32_t size) {
    std::vector<uint8_t> bytes(size);
    uint32_t x = seed * 2654435761u + 12345u;
    for (uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

inline std::vector<uint8_t> VideoBytes(uint32_t seed, uint32_t size, bool key) {
    std::vector<uint8_t> bytes = PatternBytes(seed, size);
    const uint8_t head[5] = {0, 0, 0, 1, static_cast<uint8_t>(key ? 0x65 : 0x41)};
    for (int i = 0; i < 5 && i < static_cast<int>(size); ++i)
        bytes[i] = head[i];
    return bytes;
}

// Packets in time order as the recorder writes them: per front frame the front packet (a group
// start every 24 frames), the rear packet, then audio and sensor text when due.
inline std::vector<TestPacket> MakePackets(const RecordingPlan& plan) {
    std::vector<TestPacket> packets;
    const int fps = plan.fps > 0 ? plan.fps : 30;
    const int frames = plan.seconds * fps;
    uint32_t n = plan.seed * 100000u;
    uint32_t audioDueMs = 0;
    uint32_t textDueMs = 0;
    for (int f = 0; f < frames; ++f) {
        const uint32_t t = static_cast<uint32_t>(f * 1000 / fps);
        const bool groupStart = f % 24 == 0;
        packets.push_back(
            {0, static_cast<uint8_t>(groupStart ? kTatKindGroupStart : kTatKindVideo), t,
             VideoBytes(++n, (groupStart ? 1500 : 300) + (n * 37) % 400 + plan.extraFrontBytes,
                        groupStart)});
        if (plan.rear)
            packets.push_back(
                {1, kTatKindVideo, t,
                 VideoBytes(++n, (groupStart ? 900 : 200) + (n * 53) % 300, groupStart)});
        if (plan.audio && t >= audioDueMs) {
            packets.push_back({0, kTatKindAudio, t, PatternBytes(++n, 3840)});
            audioDueMs += 240;
        }
        if (plan.text && t >= textDueMs) {
            std::vector<uint8_t> text = PatternBytes(++n, 12);
            text[0] = (t / 100) % 10 == 0 ? 'G' : ((t / 100) % 2 ? 'M' : 'B');
            packets.push_back({0, kTatKindText, t, text});
            textDueMs += 100;
        }
    }
    return packets;
}

inline int CountKind(const std::vector<TestPacket>& packets, uint8_t stream, uint8_t kind) {
    int count = 0;
    for (const TestPacket& p : packets)
        count += p.stream == stream && p.kind == kind;
    return count;
}

class TestCard {
public:
    TestCard() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "locket_parser_XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            m_root = pattern;
        m_ready = !m_root.empty() && CreateCardLayout(m_root);
        m_handle = TatCreate();
        m_drive = m_ready ? TatRegisterCardFolder(m_handle, m_root.c_str()) : 0;
        CTATParser::SetLibraryHandle(m_handle);
        CTATParser::SetKeyFrameGroupLength(24);
    }
    ~TestCard() {
        CTATParser::SetLibraryHandle(nullptr);
        TatDestroy(m_handle);
        if (!m_root.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_root, ignored);
        }
    }
    TestCard(const TestCard&) = delete;
    TestCard& operator=(const TestCard&) = delete;

    bool Ready() const { return m_ready && m_handle && m_drive != 0; }
    TatHandle Handle() const { return m_handle; }
    char Drive() const { return m_drive; }
    const std::string& Root() const { return m_root; }

    // Writes a recording and returns its file name; empty on failure. With cutKeep >= 0 the
    // recording ends as a power cut that keeps that many bytes of the last packet.
    std::string Write(int32_t libraryCategory, const RecordingTime& time,
                      const std::vector<TestPacket>& packets, int fps0 = 30, int fps1 = 30,
                      long cutKeep = -1) {
        const int cameras = fps1 > 0 ? 2 : 1;
        const std::string path = RecordingPath(m_root, libraryCategory, time, cameras);
        TatRecordingDesc desc;
        desc.fps0 = fps0;
        desc.fps1 = fps1;
        desc.width0 = 320;
        desc.height0 = 240;
        desc.width1 = fps1 > 0 ? 160 : 0;
        desc.height1 = fps1 > 0 ? 120 : 0;
        CTatWriter writer;
        if (path.empty() || !writer.Create(path, desc))
            return {};
        for (const TestPacket& p : packets)
            if (!writer.WritePacket(p.stream, p.kind, p.timeMs, p.bytes.data(),
                                    static_cast<uint32_t>(p.bytes.size())))
                return {};
        const bool ok =
            cutKeep >= 0 ? writer.CutAsPowerLoss(static_cast<uint32_t>(cutKeep)) : writer.Finish();
        return ok ? std::filesystem::path(path).filename().string() : std::string();
    }

private:
    std::string m_root;
    bool m_ready = false;
    TatHandle m_handle = nullptr;
    char m_drive = 0;
};

struct ReadBack {
    std::string id;
    std::vector<uint8_t> bytes;
};

struct ReadResult {
    std::vector<ReadBack> packets;
    bool ended = false;  // ParseMedia reported the end
    int idle = 0;        // calls that delivered nothing
};

// ParseMedia until the end (or `maxPackets`), into a buffer of exactly `capacity` bytes so that
// the address sanitizer sees any write past it.
inline ReadResult ParseAll(CTATParser& parser, uint32_t capacity = CTATParser::kBufferBytes,
                           size_t maxPackets = SIZE_MAX) {
    ReadResult result;
    std::vector<uint8_t> buffer(capacity);
    while (result.packets.size() < maxPackets && result.idle < 20) {
        char id[5] = {};
        uint32_t size = capacity;
        const int32_t r = parser.ParseMedia(id, buffer.data(), &size);
        if (r < 0) {
            result.ended = true;
            break;
        }
        if (id[0] == '\0') {
            ++result.idle;
            continue;
        }
        EXPECT_LE(size, capacity);
        result.packets.push_back({id, std::vector<uint8_t>(buffer.begin(), buffer.begin() + size)});
    }
    return result;
}

// Compares what was read with the packets written from `first` on; reports the first mismatch.
inline void ExpectSamePackets(const std::vector<ReadBack>& read,
                              const std::vector<TestPacket>& written, size_t first = 0) {
    ASSERT_LE(first, written.size());
    ASSERT_EQ(read.size(), written.size() - first);
    for (size_t i = 0; i < read.size(); ++i) {
        const TestPacket& w = written[first + i];
        ASSERT_EQ(read[i].id, ExpectedChunkId(w)) << "packet " << first + i;
        ASSERT_EQ(read[i].bytes, w.bytes) << "packet " << first + i;
    }
}

// Index of the n-th group start (0-based) among the written packets.
inline size_t GroupStartIndex(const std::vector<TestPacket>& packets, int group) {
    int seen = 0;
    for (size_t i = 0; i < packets.size(); ++i)
        if (packets[i].kind == kTatKindGroupStart && seen++ == group)
            return i;
    return packets.size();
}

}  // namespace locket::test
