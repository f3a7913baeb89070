#include "base/single_thread.h"

namespace locket {

CSingleThread::~CSingleThread() {
    StopThread();
}

bool CSingleThread::BeginThread(PassFunction function, void* argument, unsigned int, int) {
    if (!function)
        return false;
    return BeginThread([function, argument] { return function(argument); });
}

bool CSingleThread::BeginThread(std::function<bool()> pass) {
    if (m_thread.joinable() || !pass)
        return false;
    m_pass = std::move(pass);
    m_stop.store(false);
    m_thread = std::thread(&CSingleThread::Run, this);
    return true;
}

void CSingleThread::StopThread() {
    m_stop.store(true);
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void CSingleThread::Run() {
    // The pass's own result is informational; only StopThread ends the repetition.
    while (!m_stop.load())
        m_pass();
}

}  // namespace locket
