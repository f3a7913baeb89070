// The bounded packet queue between a parser's read-ahead thread and its consumer: packets are
// byte runs with an int tag, bounded by a number of bytes.
#pragma once

#include <cstdint>

#include "base/sync.h"
#include "base/vip_array.h"

namespace locket {

class CThreadQueue {
public:
    CThreadQueue() = default;
    virtual ~CThreadQueue() = default;

    // Room for `capacity` bytes and 100 packets; called before the producer starts.
    bool Init(int capacity);
    void Clear();

    // False when the queue would then hold `capacity` bytes or more; nothing is stored then.
    bool Push(const void* data, int size, int tag);

    // Copies the oldest packet into `buffer` (room for `bufferCapacity` bytes) and removes it.
    // False when the queue is empty, or when the oldest packet does not fit: that packet is
    // dropped with a trace line, so the next call goes on with the one after it.
    bool Pop(unsigned char* buffer, int bufferCapacity, int* size, int* tag);

    // As Pop, for packets whose first four bytes are a header returned through `head`;
    // `size` and the copy cover the bytes after it.
    bool PopTagged(int* head, unsigned char* buffer, int bufferCapacity, int* size, int* tag);

    int GetCapacity() const { return m_capacity; }
    int GetUsedBytes();
    int GetCount();

private:
    bool TakeOldest(int skip, int* head, unsigned char* buffer, int bufferCapacity, int* size,
                    int* tag);

    int m_capacity = 0;
    CSync m_sync{"none"};
    // -- protected by m_sync
    CVipArrBase<unsigned char> m_bytes;
    CVipArrBase<int> m_sizes;
    CVipArrBase<int> m_tags;
};

}  // namespace locket
