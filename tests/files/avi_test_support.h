// Helpers of the AVI tests: an in-memory file sink with a size limit, a reading of written files
// done independently of the code under test, temporary files, and writing and reading packets.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/avi_extractor.h"
#include "files/avi_writer.h"
#include "files/file_system.h"
#include "support/temp_dir.h"

namespace avi_test {

using Bytes = std::vector<uint8_t>;

inline uint32_t U32(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}
inline std::string Str4(const Bytes& b, size_t at) {
    b.at(at + 3);  // throws when the four bytes are not all there
    return std::string(b.begin() + at, b.begin() + at + 4);
}

// A file that lives in memory; it cannot grow beyond `limit` bytes, as on a full disk. Only its
// first `keep` bytes are stored, so that files of gigabytes can be written as well.
class MemoryFile : public locket::VFileSystem {
public:
    explicit MemoryFile(Bytes* store, size_t limit = SIZE_MAX, size_t keep = SIZE_MAX)
        : m_store(store), m_limit(limit), m_keep(keep) {}

    bool Open(const char*, const char*) override {
        if (m_open)
            return false;
        m_open = true;
        m_store->clear();
        m_pos = size = 0;
        return true;
    }
    uint32_t Write(const void* data, uint32_t count) override {
        if (++writes == halfWrite)
            count /= 2;
        const size_t n = std::min<size_t>(count, m_pos >= m_limit ? 0 : m_limit - m_pos);
        const size_t stored = m_pos >= m_keep ? 0 : std::min(n, m_keep - m_pos);
        if (m_store->size() < m_pos + stored)
            m_store->resize(m_pos + stored);
        if (stored)
            std::memcpy(m_store->data() + m_pos, data, stored);
        m_pos += n;
        size = std::max(size, m_pos);
        return static_cast<uint32_t>(n);
    }
    int32_t Close() override {
        m_open = false;
        return closeResult;
    }
    int32_t Seek(int64_t offset, int origin) override {
        const int64_t to = offset + (origin == 1   ? int64_t(m_pos)
                                     : origin == 2 ? int64_t(size)
                                                   : 0);
        m_pos = size_t(std::max<int64_t>(to, 0));
        return to < 0 ? -1 : 0;
    }
    bool IsOpen() override { return m_open; }
    int32_t Truncate(uint64_t length) override {
        if (length < m_store->size())
            m_store->resize(length);
        size = std::min<size_t>(size, length);
        return 0;
    }

    int writes = 0;
    int halfWrite = 0;        // this write (counted from 1) stores only half its bytes
    int32_t closeResult = 0;  // what Close reports, e.g. a flush the disk refused
    size_t size = 0;          // the file's length, stored or not

private:
    Bytes* m_store;
    size_t m_limit, m_keep;
    size_t m_pos = 0;
    bool m_open = false;
};

using locket::testsupport::ReadBytes;
using locket::testsupport::TempDir;

inline void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

// Payload bytes that differ per chunk, so that a swapped or shifted chunk shows.
inline Bytes Payload(uint32_t size, uint32_t seed) {
    Bytes b(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = uint8_t(x >> 16);
    }
    return b;
}

// A chunk to write: stream kind 0..3 and payload.
struct Packet {
    int kind;
    Bytes data;
};

// A 320x240 front camera at `fps0`; with `dual` a 160x120 rear camera at 15 fps.
inline void Configure(locket::CAVIWriter& w, bool dual, int fps0 = 30) {
    w.SetDualVideo(dual);
    w.SetVideoSize(0, 320, 240);
    w.SetVideoSize(1, 160, 120);
    w.SetFrameRate(0, fps0);
    w.SetFrameRate(1, 15);
}

inline void WritePackets(const std::string& path, const std::vector<Packet>& packets, bool dual,
                         int fps0 = 30) {
    locket::CAVIWriter w;
    Configure(w, dual, fps0);
    ASSERT_TRUE(w.Create(path.c_str()));
    for (const Packet& p : packets)
        ASSERT_TRUE(w.AddData(p.data.data(), uint32_t(p.data.size()), p.kind));
    ASSERT_GT(w.Close(), 0u);
}

using Chunks = std::vector<std::pair<std::string, Bytes>>;

// What an outside reader finds in a finished file: the chunks of the movi list (id, payload). On
// the way it checks that the RIFF and movi sizes, the pad bytes, the frame count and every index
// entry (when the header promises an index) agree with the chunks really there.
inline Chunks Walk(const Bytes& b) {
    Chunks w;  // a file cut inside a field throws from U32 or Str4, which fails the test
    EXPECT_EQ(b.size() - 8, U32(b, 4)) << "RIFF size covers the whole file";
    const size_t movi = 28 + size_t(U32(b, 16));  // "movi" after the hdrl list and "LIST", size
    EXPECT_EQ("movi", Str4(b, movi));
    const size_t moviEnd = movi + U32(b, movi - 4);
    std::vector<uint32_t> offsets;
    size_t at = movi + 4;
    while (at < moviEnd && at + 8 <= b.size()) {
        const uint32_t size = U32(b, at + 4), padded = (size + 1) & ~1u;
        if (at + 8 + padded > b.size()) {
            ADD_FAILURE() << "chunk at " << at << " runs past the file";
            return w;
        }
        w.emplace_back(Str4(b, at), Bytes(b.begin() + at + 8, b.begin() + at + 8 + size));
        EXPECT_TRUE(padded == size || b[at + 8 + size] == 0) << "pad byte at " << at;
        offsets.push_back(uint32_t(at - movi));
        at += 8 + padded;
    }
    EXPECT_EQ(moviEnd, at) << "movi size ends on a chunk boundary";
    const uint32_t n = uint32_t(w.size());
    EXPECT_EQ(n, U32(b, 48)) << "total frames = chunks written";
    if ((U32(b, 44) & 0x10) == 0) {
        EXPECT_EQ(moviEnd, b.size()) << "without an index the file ends after the last chunk";
        return w;
    }
    EXPECT_EQ("idx1", Str4(b, moviEnd));
    EXPECT_EQ(16 * n, U32(b, moviEnd + 4));
    const size_t end = moviEnd + 8 + 16 * n;
    EXPECT_TRUE(b.size() == end || (b.size() == end + 12 && Str4(b, end) == "chk1"))
        << "the index ends the file, or the checksum trailer after it";
    for (uint32_t i = 0; i < n && moviEnd + 24 + 16 * i <= b.size(); ++i) {
        const size_t e = moviEnd + 8 + 16 * i;
        EXPECT_EQ(w[i].first, Str4(b, e)) << "entry " << i;
        EXPECT_EQ(0x10u, U32(b, e + 4)) << "entry " << i << ": key frame";
        EXPECT_EQ(offsets[i], U32(b, e + 8)) << "entry " << i;
        EXPECT_EQ((w[i].second.size() + 1) & ~size_t{1}, U32(b, e + 12)) << "entry " << i;
    }
    return w;
}

// One ParseMedia result: file position (< 0 at the end or on failure), chunk id, payload.
struct Chunk {
    int32_t pos;
    std::string id;
    Bytes data;
};

// Calls ParseMedia with a buffer of `capacity` bytes followed by guard bytes, and expects the
// guard bytes untouched.
inline Chunk NextChunk(locket::CAVIExtractor& x, uint32_t capacity = 0x10000) {
    Bytes buf(capacity + 64, 0xA5);
    char id[4] = {0, 0, 0, 0};
    uint32_t size = capacity;
    const int32_t pos = x.ParseMedia(id, buf.data(), &size);
    EXPECT_TRUE(std::all_of(buf.begin() + capacity, buf.end(), [](uint8_t v) { return v == 0xA5; }))
        << "written past a capacity of " << capacity;
    if (pos >= 0) {
        EXPECT_LE(size, capacity);
        buf.resize(std::min(size, capacity));
    } else {
        buf.clear();
    }
    return {pos, std::string(id, 4), std::move(buf)};
}

}  // namespace avi_test
