// The byte sink of the AVI writer: a small file interface, so that tests can stand in for the disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace locket {

class VFileSystem {
public:
    // The writer deletes the sink it holds, so deletion goes through the interface.
    virtual ~VFileSystem() = default;

    // `mode` is a stdio mode string ("wb"). False when a file is already open.
    virtual bool Open(const char* path, const char* mode) = 0;
    // Bytes written; fewer than `count` means the disk refused the rest.
    virtual uint32_t Write(const void* data, uint32_t count) = 0;
    // 0 when nothing was open.
    virtual int32_t Close() = 0;
    // `origin`: 0 start, 1 current, 2 end. 0 = ok. 64-bit: a file may pass 2 GiB.
    virtual int32_t Seek(int64_t offset, int origin) = 0;
    virtual bool IsOpen() = 0;
    // Cuts the file at `length` bytes (after a partial write). 0 = ok.
    virtual int32_t Truncate(uint64_t length) = 0;
};

// VFileSystem over a C stdio stream on a local file.
class CFSNormal : public VFileSystem {
public:
    CFSNormal() = default;
    ~CFSNormal() override;
    CFSNormal(const CFSNormal&) = delete;
    CFSNormal& operator=(const CFSNormal&) = delete;

    bool Open(const char* path, const char* mode) override;
    uint32_t Write(const void* data, uint32_t count) override;
    int32_t Close() override;
    int32_t Seek(int64_t offset, int origin) override;
    bool IsOpen() override { return m_file != nullptr; }
    int32_t Truncate(uint64_t length) override;

private:
    FILE* m_file = nullptr;
};

}  // namespace locket
