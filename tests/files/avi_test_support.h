// Helpers of the AVI tests: an in-memory file sink with a size limit, little-endian reads done
// independently of the code under test, and temporary files.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/file_system.h"

namespace avi_test {

using Bytes = std::vector<uint8_t>;

inline uint32_t U32(const Bytes& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}
inline uint16_t U16(const Bytes& b, size_t at) {
    return uint16_t(b.at(at) | b.at(at + 1) << 8);
}
inline std::string Str4(const Bytes& b, size_t at) {
    return std::string(reinterpret_cast<const char*>(&b.at(at)), 4);
}

// A file that lives in memory; it cannot grow beyond `limit` bytes, as on a full disk.
class MemoryFile : public locket::VFileSystem {
public:
    explicit MemoryFile(Bytes* store, size_t limit = SIZE_MAX) : m_store(store), m_limit(limit) {}

    bool Open(const char*, const char*) override {
        if (m_open)
            return false;
        m_open = true;
        m_store->clear();
        m_pos = 0;
        ++opens;
        return true;
    }
    uint32_t Write(const void* data, uint32_t count) override {
        ++writes;
        size_t room = m_pos >= m_limit ? 0 : m_limit - m_pos;
        size_t n = std::min<size_t>(count, room);
        if (m_store->size() < m_pos + n)
            m_store->resize(m_pos + n);
        if (n)
            std::memcpy(m_store->data() + m_pos, data, n);
        m_pos += n;
        return static_cast<uint32_t>(n);
    }
    int32_t Close() override {
        m_open = false;
        return 0;
    }
    int32_t Seek(int32_t offset, int origin) override {
        int64_t base = origin == 1 ? int64_t(m_pos) : origin == 2 ? int64_t(m_store->size()) : 0;
        if (base + offset < 0)
            return -1;
        m_pos = size_t(base + offset);
        return 0;
    }
    bool IsOpen() override { return m_open; }
    int32_t Truncate(uint32_t length) override {
        if (length < m_store->size())
            m_store->resize(length);
        return 0;
    }

    int opens = 0;
    int writes = 0;

private:
    Bytes* m_store;
    size_t m_limit;
    size_t m_pos = 0;
    bool m_open = false;
};

// A folder of its own per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/locket-avi-XXXXXX";
        m_path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(m_path); }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

inline Bytes ReadFile(const std::string& path) {
    Bytes b;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

inline void WriteFile(const std::string& path, const Bytes& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    if (!b.empty())
        std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
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

}  // namespace avi_test
