#include "base/wait_event.h"

#include <chrono>

namespace locket {

void CWaitEvent::SetEvent() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_signalled = true;
    }
    m_cond.notify_one();
}

uint32_t CWaitEvent::WaitEvent(uint32_t ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto taken = [this] { return m_signalled; };
    if (ms == kInfinite)
        m_cond.wait(lock, taken);
    else if (!m_cond.wait_for(lock, std::chrono::milliseconds(ms), taken))
        return kTimeout;
    m_signalled = false;
    return kSignalled;
}

}  // namespace locket
