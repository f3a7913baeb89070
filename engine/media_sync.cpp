#include "engine/media_sync.h"

#include <cstring>

namespace locket {

CMediaSync::~CMediaSync() {
    Stop();
}

bool CMediaSync::Start() {
    if (m_thread.IsRunning())
        return false;
    m_running.store(true);
    if (!m_thread.BeginThread(&CMediaSync::SyncPass, this)) {
        m_running.store(false);
        return false;
    }
    return true;
}

void CMediaSync::Stop() {
    {
        CSyncLock lock(m_lock);
        m_running.store(false);
    }
    m_thread.RequestStop();
    m_queued.notify_all();
    m_drained.notify_all();
    m_thread.StopThread();
}

bool CMediaSync::PushAudio(const uint8_t* data, int size) {
    if (!data || size <= 0)
        return true;
    CSyncLock lock(m_lock);
    int n = m_queue.GetSize();
    // Grow as (count + 1) x 2 so that a steady stream reallocates rarely.
    if (n + 1 > m_queue.GetCapacity())
        m_queue.Reserve((n + 1) * 2);
    m_queue.SetSize(n + 1);
    _packet_pcm& packet = m_queue.ElementAt(n);
    packet.size = size < _packet_pcm::kCapacity ? size : _packet_pcm::kCapacity;
    std::memcpy(packet.data, data, packet.size);
    m_count.store(n + 1);
    m_queued.notify_one();
    return true;
}

void CMediaSync::ClearAudio() {
    CSyncLock lock(m_lock);
    m_queue.RemoveAll();
    m_count.store(0);
    m_drained.notify_all();
}

void CMediaSync::WaitAudio() {
    std::unique_lock<CSync> lock(m_lock);
    const unsigned cancels = m_cancels;
    // Without the feeder thread nothing would ever drain the queue.
    m_drained.wait(
        lock, [&] { return m_queue.GetSize() < 2 || !m_running.load() || m_cancels != cancels; });
}

void CMediaSync::CancelWait() {
    CSyncLock lock(m_lock);
    ++m_cancels;
    m_drained.notify_all();
}

bool CMediaSync::Pop() {
    std::unique_lock<CSync> lock(m_lock);
    m_queued.wait(lock, [this] { return !m_queue.IsEmpty() || !m_running.load(); });
    if (m_queue.IsEmpty())
        return false;
    m_staging = m_queue[0];
    m_queue.RemoveAt(0);
    m_count.store(m_queue.GetSize());
    m_drained.notify_all();
    return true;
}

bool CMediaSync::SyncPass(void* self) {
    auto* sync = static_cast<CMediaSync*>(self);
    if (!sync->Pop())
        return true;
    if (sync->m_pAudio)
        sync->m_pAudio->Write(sync->m_staging.data, sync->m_staging.size);
    return true;
}

}  // namespace locket
