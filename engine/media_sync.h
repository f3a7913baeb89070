// The audio feeder: queues PCM packets from the player and writes them to the sound output on
// a thread of its own, so that a full device blocks only that thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>

#include "base/single_thread.h"
#include "base/sync.h"
#include "base/vip_array.h"
#include "engine/audio.h"

namespace locket {

struct _packet_pcm {
    static constexpr int kCapacity = 3840;
    uint8_t data[kCapacity];
    int32_t size;
};

class CMediaSync {
public:
    CMediaSync() = default;
    virtual ~CMediaSync();
    CMediaSync(const CMediaSync&) = delete;
    CMediaSync& operator=(const CMediaSync&) = delete;

    // Set before Start; null drops the packets.
    void SetAudio(VAudio* audio) { m_pAudio = audio; }
    bool Start();
    void Stop();

    // Queues the first 3840 bytes at most; always true.
    bool PushAudio(const uint8_t* data, int size);
    void ClearAudio();
    // Holds the caller while two or more packets wait for the device, or until CancelWait.
    void WaitAudio();
    // Lets a caller held in WaitAudio go on at once.
    void CancelWait();
    int GetQueued() const { return m_count.load(); }

private:
    static bool SyncPass(void* self);
    bool Pop();

    VAudio* m_pAudio = nullptr;
    CSingleThread m_thread{"MediaSync"};
    std::atomic<bool> m_running{false};
    // Mirrors the queue's count so the waits can read it without the lock.
    std::atomic<int> m_count{0};
    // Owned by the sync thread.
    _packet_pcm m_staging{};
    CSync m_lock{"none"};
    // The feeder waits here for a packet, WaitAudio for the queue to drain; both under m_lock.
    std::condition_variable_any m_queued;
    std::condition_variable_any m_drained;
    // -- protected by m_lock
    CVipArrBase<_packet_pcm> m_queue;
    unsigned m_cancels = 0;
};

}  // namespace locket
