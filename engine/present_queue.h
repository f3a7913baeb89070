// The player's presentation FIFO: video and text packets held back about one preroll before
// they are shown or delivered.
#pragma once

#include <cstdint>

#include "base/sync.h"
#include "base/vip_array.h"

namespace locket {

enum PresentKind : int { kPresentFront = 0, kPresentRear = 1, kPresentText = 2 };

class CPresentQueue {
public:
    CPresentQueue() = default;
    virtual ~CPresentQueue() = default;
    CPresentQueue(const CPresentQueue&) = delete;
    CPresentQueue& operator=(const CPresentQueue&) = delete;

    void Push(const uint8_t* data, int size, int kind);
    // Copies the oldest packet into `buffer` and removes it. False when the queue is empty;
    // a packet larger than `capacity` is dropped with a trace line and the next one is taken.
    bool Pop(uint8_t* buffer, int capacity, int* size, int* kind);
    void Clear();
    int GetCount();

private:
    void ClearLocked();

    CSync m_lock{"none"};
    // -- protected by m_lock
    // Packets back to back from m_head on; the consumed front is cut off lazily.
    CVipArrBase<unsigned char> m_bytes;
    int m_head = 0;
    CVipArrBase<int> m_sizes;
    CVipArrBase<int> m_kinds;
    int m_first = 0;  // index of the oldest entry in m_sizes and m_kinds
};

}  // namespace locket
