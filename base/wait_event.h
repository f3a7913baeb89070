// An auto-reset event that remembers a signal until a wait takes it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace locket {

class CWaitEvent {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;
    static constexpr uint32_t kSignalled = 0;
    static constexpr uint32_t kTimeout = 0x102;

    CWaitEvent() = default;
    virtual ~CWaitEvent() = default;
    CWaitEvent(const CWaitEvent&) = delete;
    CWaitEvent& operator=(const CWaitEvent&) = delete;

    void SetEvent();

    // kSignalled when a signal was taken (also one set before the call), kTimeout otherwise.
    uint32_t WaitEvent(uint32_t ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_signalled = false;  // protected by m_mutex
};

}  // namespace locket
