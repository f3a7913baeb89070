#include "engine/present_queue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace locket {

void CPresentQueue::Push(const uint8_t* data, int size, int kind) {
    if (!data || size < 0)
        return;
    CSyncLock lock(m_lock);
    int used = m_bytes.GetSize();
    if (used + size > m_bytes.GetCapacity()) {
        // Cut off what was consumed, and keep at least as much room again as is live, so the
        // bytes moved by a cut are paid for by as many bytes pushed since the last one.
        if (m_head > 0) {
            m_bytes.RemoveAt(0, m_head);
            m_head = 0;
            used = m_bytes.GetSize();
        }
        if ((used + size) * 2 > m_bytes.GetCapacity())
            m_bytes.Reserve(std::max(m_bytes.GetCapacity() * 2, (used + size) * 2));
    }
    m_bytes.Append(data, size);
    if (m_first > 0 && m_first * 2 >= m_sizes.GetSize()) {
        m_sizes.RemoveAt(0, m_first);
        m_kinds.RemoveAt(0, m_first);
        m_first = 0;
    }
    m_sizes.Add(size);
    m_kinds.Add(kind);
}

bool CPresentQueue::Pop(uint8_t* buffer, int capacity, int* size, int* kind) {
    CSyncLock lock(m_lock);
    while (m_first < m_sizes.GetSize()) {
        int n = m_sizes[m_first];
        int k = m_kinds[m_first];
        int at = m_head;
        m_head += n;
        ++m_first;
        bool fits = n <= capacity;
        if (fits && n > 0)
            std::memcpy(buffer, m_bytes.GetData() + at, n);
        if (m_first == m_sizes.GetSize())
            ClearLocked();
        if (!fits) {
            std::printf("[CPresentQueue] packet of %d bytes dropped\n", n);
            continue;
        }
        *size = n;
        *kind = k;
        return true;
    }
    return false;
}

void CPresentQueue::Clear() {
    CSyncLock lock(m_lock);
    ClearLocked();
}

void CPresentQueue::ClearLocked() {
    m_bytes.RemoveAll();
    m_head = 0;
    m_sizes.RemoveAll();
    m_kinds.RemoveAll();
    m_first = 0;
}

int CPresentQueue::GetCount() {
    CSyncLock lock(m_lock);
    return m_sizes.GetSize() - m_first;
}

}  // namespace locket
