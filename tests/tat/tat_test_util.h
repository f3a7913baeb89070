// Helpers of the TAT library and parser tests: a temporary card folder with a library handle
// on it, and recordings written at test time from packets with known bytes.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "support/temp_dir.h"
#include "tat/card_layout.h"
#include "tat/tat_format.h"
#include "tat/tat_library.h"
#include "tat/tat_reader.h"
#include "tat/tat_writer.h"

namespace locket::test {

struct Packet {
    uint8_t stream = 0;
    uint8_t kind = 0;
    uint8_t flag = 0;
    uint32_t timeMs = 0;
    std::vector<uint8_t> data;
    bool operator==(const Packet&) const = default;
    bool IsVideo() const { return kind == kTatKindGroupStart || kind == kTatKindVideo; }
};

// Every packet the file reader gives, the status it ended with and whether it had to scan.
inline std::vector<Packet> ReadPackets(const std::string& path, int* endStatus = nullptr,
                                       bool* scanned = nullptr) {
    std::vector<Packet> out;
    CTatReader reader;
    if (!reader.Open(path))
        return out;
    if (scanned)
        *scanned = reader.Scanned();
    std::vector<uint8_t> buffer(1 << 20);
    TatPacketInfo info;
    int r;
    while ((r = reader.ReadPacket(buffer.data(), uint32_t(buffer.size()), &info)) == kTatPacket)
        out.push_back({info.stream, info.kind, info.flag, info.timeMs,
                       std::vector<uint8_t>(buffer.begin(), buffer.begin() + info.size)});
    if (endStatus)
        *endStatus = r;
    return out;
}

using TempFolder = testsupport::TempDir;

// The packets a recorder writes for `frames` front frames at `fps`: 24-frame groups, optional
// rear camera, an audio packet every third frame, a text record every fifth ('G', 'M', 'B' in
// turn). `extraFront` bytes are added to every front packet.
inline std::vector<Packet> MakePackets(int frames, bool rear, uint32_t seed = 1, int fps = 30,
                                       uint32_t extraFront = 0) {
    std::vector<Packet> out;
    uint32_t state = seed * 2654435761u;
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
        const uint32_t t = uint32_t(i) * 1000 / uint32_t(fps);
        const bool group = i % 24 == 0;
        out.push_back({0, uint8_t(group ? kTatKindGroupStart : kTatKindVideo), uint8_t(group), t,
                       bytes((group ? 900 : 100 + (i * 37) % 300) + extraFront)});
        if (rear)
            out.push_back({1, kTatKindVideo, uint8_t(group), t, bytes(60 + (i * 13) % 200)});
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

// Front 1280x720 at `fps0`; rear, when there is one, 640x480 at 15 fps.
inline TatRecordingDesc MakeDesc(bool rear, int fps0 = 30) {
    return rear ? TatRecordingDesc{fps0, 15, 1280, 720, 640, 480}
                : TatRecordingDesc{fps0, 0, 1280, 720, 0, 0};
}

// Writes the packets; finished normally, or cut like a power loss keeping `keepOfLast` bytes
// of the last packet.
inline bool WriteRecording(const std::string& path, const std::vector<Packet>& packets, bool rear,
                           bool finish = true, uint32_t keepOfLast = UINT32_MAX, int fps0 = 30) {
    CTatWriter writer;
    if (!writer.Create(path, MakeDesc(rear, fps0)))
        return false;
    for (const Packet& p : packets)
        if (!writer.WritePacket(p.stream, p.kind, p.timeMs, p.data.data(), uint32_t(p.data.size()),
                                p.flag))
            return false;
    return finish ? writer.Finish() : writer.CutAsPowerLoss(keepOfLast);
}

// The file offset of packet `n` of a recording written from `packets`.
inline uint64_t PacketOffset(const std::vector<Packet>& packets, size_t n) {
    uint64_t offset = tatfmt::kHeaderBytes;
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

using testsupport::WriteText;

// Index of the n-th group start (0-based) among the packets.
inline size_t GroupStartIndex(const std::vector<Packet>& packets, int group) {
    int seen = 0;
    for (size_t i = 0; i < packets.size(); ++i)
        if (packets[i].kind == kTatKindGroupStart && seen++ == group)
            return i;
    return packets.size();
}

// Lists `count` names (and their sizes); checks nothing is written past count entries.
inline std::vector<std::string> List(TatHandle h, char drive, int32_t category, int32_t count,
                                     std::vector<uint64_t>* sizes = nullptr) {
    const size_t n = size_t(std::max(count, 0));
    std::vector<char> names(n * 40 + 40, 'x');
    std::vector<uint8_t> sizeField(n * 8 + 8, 0xAB);
    std::vector<int32_t> extra(n + 3, 77);
    const int32_t got =
        TatListRecordings(h, drive, category, count, names.data(), sizeField.data(), extra.data());
    EXPECT_LE(got, int32_t(n));
    EXPECT_EQ(extra[n + 2], 77) << "extra holds count + 2 values";
    EXPECT_EQ(names[n * 40], 'x') << "written past the names";
    std::vector<std::string> out;
    for (int32_t i = 0; i < got && size_t(i) < n; ++i) {  // bounded: a fault must not read past
        out.emplace_back(&names[size_t(i) * 40], strnlen(&names[size_t(i) * 40], 40));
        if (sizes)
            sizes->push_back(GetLE64(&sizeField[size_t(i) * 8]));
    }
    return out;
}

// A card folder registered with a library handle of its own; the volume walk is off.
class TestCard {
public:
    TestCard() : m_root(m_temp.path() + "/card") {
        m_handle = TatCreate();
        TatSetMountsFile(m_handle, "");
        if (CreateCardLayout(m_root))
            m_drive = TatRegisterCardFolder(m_handle, m_root.c_str());
    }
    ~TestCard() { TatDestroy(m_handle); }
    TestCard(const TestCard&) = delete;
    TestCard& operator=(const TestCard&) = delete;

    bool Ready() const { return m_handle && m_drive != 0; }
    TatHandle Handle() const { return m_handle; }
    char Drive() const { return m_drive; }
    const std::string& Root() const { return m_root; }
    const std::string& Temp() const { return m_temp.path(); }

    // Writes a recording made on 2014-03-01 at 10:`minute` and returns its path.
    std::string Record(int32_t category, int minute, const std::vector<Packet>& packets, bool rear,
                       bool finish = true, uint32_t keep = UINT32_MAX, int fps0 = 30) {
        const std::string path =
            RecordingPath(m_root, category, RecordingTime{2014, 3, 1, 10, minute, 0}, rear ? 2 : 1);
        EXPECT_TRUE(WriteRecording(path, packets, rear, finish, keep, fps0)) << path;
        return path;
    }

private:
    TempFolder m_temp;
    std::string m_root;
    TatHandle m_handle = nullptr;
    char m_drive = 0;
};

// What the library tells about one recording. The description and counts start filled so that
// a failed query is seen to clear them.
struct RecordingInfo {
    int32_t ok = 0;
    uint8_t desc[kTatDescriptionBytes];
    int32_t count0 = -1, count1 = -1;
    char counts[kTatCountsTextBytes];
    uint8_t block244[244];
    uint8_t pastBlock = 0xA5;  // nothing may be written past the block
    int Word(int at) const { return desc[at] | (desc[at + 1] << 8); }
    // Frame rate, width, height and frame count of the front (0) or rear (1) camera.
    std::tuple<int, int, int, int> Camera(int c) const {
        return {desc[3 + c], Word(52 + 2 * c), Word(20 + 2 * c), c ? count1 : count0};
    }
};

inline RecordingInfo QueryRecording(TatHandle h, const char* name) {
    RecordingInfo r;
    std::memset(r.desc, 0xCC, sizeof r.desc);
    std::memset(r.counts, 'x', sizeof r.counts);
    uint8_t block40[40];
    r.ok = TatQueryRecording(h, name, r.desc, &r.count0, &r.count1, r.block244, r.counts, block40);
    return r;
}

// The recording name of a path as the library lists it: the file name.
inline std::string NameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

}  // namespace locket::test
