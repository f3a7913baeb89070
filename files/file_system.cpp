#include "files/file_system.h"

#include <unistd.h>

namespace locket {

CFSNormal::~CFSNormal() {
    Close();
}

bool CFSNormal::Open(const char* path, const char* mode) {
    if (m_file) {
        std::printf("[CFSNormal] FP is Already Opened\n");
        return false;
    }
    if (!path || !mode)
        return false;
    m_file = std::fopen(path, mode);
    if (!m_file)
        return false;
    // Unbuffered: a refused write is seen at once, and no buffered bytes can land later behind
    // a cut. The writer hands over whole chunks, so this costs few extra system calls.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    return true;
}

uint32_t CFSNormal::Write(const void* data, uint32_t count) {
    if (!m_file || (!data && count > 0))
        return 0;
    return static_cast<uint32_t>(std::fwrite(data, 1, count, m_file));
}

int32_t CFSNormal::Close() {
    if (!m_file)
        return 0;
    int result = std::fclose(m_file);
    m_file = nullptr;
    return result;
}

int32_t CFSNormal::Seek(int64_t offset, int origin) {
    if (!m_file)
        return -1;
    int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
    return ::fseeko(m_file, static_cast<off_t>(offset), whence);
}

int32_t CFSNormal::Truncate(uint64_t length) {
    if (!m_file)
        return -1;
    std::clearerr(m_file);
    return ftruncate(fileno(m_file), static_cast<off_t>(length)) == 0 ? 0 : -1;
}

}  // namespace locket
