#include "base/thread_queue.h"

#include <cstdio>
#include <cstring>

namespace locket {

bool CThreadQueue::Init(int capacity) {
    m_bytes.Allocate(capacity);
    m_sizes.Allocate(100);
    m_tags.Allocate(100);
    m_capacity = capacity;
    return true;
}

void CThreadQueue::Clear() {
    CSyncLock lock(m_sync);
    m_bytes.RemoveAll();
    m_sizes.RemoveAll();
    m_tags.RemoveAll();
}

bool CThreadQueue::Push(const void* data, int size, int tag) {
    if (size < 0 || (size > 0 && !data))
        return false;
    CSyncLock lock(m_sync);
    if (static_cast<int64_t>(m_bytes.GetSize()) + size >= m_capacity)
        return false;
    m_bytes.Append(static_cast<const unsigned char*>(data), size);
    m_sizes.Add(size);
    m_tags.Add(tag);
    return true;
}

bool CThreadQueue::Pop(unsigned char* buffer, int bufferCapacity, int* size, int* tag) {
    return TakeOldest(0, nullptr, buffer, bufferCapacity, size, tag);
}

bool CThreadQueue::PopTagged(int* head, unsigned char* buffer, int bufferCapacity, int* size,
                             int* tag) {
    return TakeOldest(4, head, buffer, bufferCapacity, size, tag);
}

bool CThreadQueue::TakeOldest(int skip, int* head, unsigned char* buffer, int bufferCapacity,
                              int* size, int* tag) {
    CSyncLock lock(m_sync);
    if (m_bytes.GetSize() == 0) {
        std::printf("[CThreadQueue] Pop Empty\n");
        return false;
    }
    const int stored = m_sizes[0];
    const int storedTag = m_tags[0];
    const unsigned char* oldest = m_bytes.GetData();
    const int payload = stored - skip;

    bool delivered = false;
    if (payload < 0) {
        std::printf("[CThreadQueue] Packet of %d bytes has no %d-byte head, dropped\n", stored,
                    skip);
    } else if (payload > bufferCapacity || (payload > 0 && !buffer)) {
        std::printf("[CThreadQueue] Packet of %d bytes does not fit a buffer of %d, dropped\n",
                    payload, bufferCapacity);
    } else {
        if (head) {
            int32_t value;
            std::memcpy(&value, oldest, 4);
            *head = value;
        }
        if (payload > 0)
            std::memcpy(buffer, oldest + skip, payload);
        if (size)
            *size = payload;
        if (tag)
            *tag = storedTag;
        delivered = true;
    }
    m_bytes.RemoveAt(0, stored);
    m_sizes.RemoveAt(0);
    m_tags.RemoveAt(0);
    if (!delivered && size)
        *size = 0;
    return delivered;
}

int CThreadQueue::GetUsedBytes() {
    CSyncLock lock(m_sync);
    return m_bytes.GetSize();
}

int CThreadQueue::GetCount() {
    CSyncLock lock(m_sync);
    return m_sizes.GetSize();
}

}  // namespace locket
