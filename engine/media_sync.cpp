#include "engine/media_sync.h"

#include <cstring>

#include "platform/clock.h"

namespace locket {

CMediaSync::~CMediaSync() {
    Stop();
}

bool CMediaSync::Start() {
    if (!m_thread.BeginThread(&CMediaSync::SyncPass, this))
        return false;
    m_running.store(true);
    return true;
}

void CMediaSync::Stop() {
    m_running.store(false);
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
    return true;
}

void CMediaSync::ClearAudio() {
    CSyncLock lock(m_lock);
    m_queue.RemoveAll();
    m_count.store(0);
}

void CMediaSync::WaitAudio() {
    // Without the feeder thread nothing would ever drain the queue.
    while (m_count.load() >= 2 && m_running.load())
        SleepMs(10);
}

bool CMediaSync::Pop() {
    if (m_count.load() == 0)
        return false;
    CSyncLock lock(m_lock);
    if (m_queue.IsEmpty())
        return false;
    m_staging = m_queue[0];
    m_queue.RemoveAt(0);
    m_count.store(m_queue.GetSize());
    return true;
}

bool CMediaSync::SyncPass(void* self) {
    auto* sync = static_cast<CMediaSync*>(self);
    if (!sync->Pop()) {
        SleepMs(1);
        return true;
    }
    if (sync->m_pAudio)
        sync->m_pAudio->Write(sync->m_staging.data, sync->m_staging.size);
    return true;
}

}  // namespace locket
