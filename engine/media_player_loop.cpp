// The player thread's read, route and present steps.
#include <algorithm>
#include <cstdio>
#include <mutex>

#include "engine/media_player.h"
#include "platform/clock.h"

namespace locket {

bool CTRSMediaPlayer::PlayLoop() {
    if (m_state.load() == kPaused)
        return true;
    while (m_state.load() != kPaused) {
        Flow flow = ReadAndRoute();
        if (flow == Flow::kReturn)
            return true;
        if (flow == Flow::kEnd)
            return false;
    }
    // Paused: the picture after it starts the clock's count again.
    m_clockFrames = 0;
    return true;
}

template <class Wait>
bool CTRSMediaPlayer::WaitUnlocked(Wait&& wait) {
    const unsigned resets = m_resets.load();
    m_lock.Unlock();
    wait();
    m_lock.Lock();
    return m_resets.load() == resets;
}

bool CTRSMediaPlayer::SleepUnlocked(std::chrono::steady_clock::time_point due) {
    const unsigned resets = m_resets.load();
    return WaitUnlocked([&] {
        std::unique_lock<std::mutex> lock(m_wakeMutex);
        m_wake.wait_until(lock, due, [&] { return m_resets.load() != resets || m_quit.load(); });
    });
}

CTRSMediaPlayer::Flow CTRSMediaPlayer::ReadAndRoute() {
    int pending = m_pendingSeek.exchange(-1);
    if (pending >= 0)
        SeekToFrame(pending);

    // The wait for the reader (up to a second when it falls behind) is made without the lock;
    // the read itself then finds its packet at once.
    bool ready = true;
    if (!WaitUnlocked([&] { ready = m_pParser->WaitForPacket(kReadWaitMs); }))
        return Flow::kReturn;
    if (!ready)
        return Flow::kNext;

    char id[5] = {0, 0, 0, 0, 0};
    uint32_t size = kBufferBytes;
    int r = m_pParser->ParseMedia(id, m_readBuffer.get(), &size);
    if (r < 0) {
        // No more sound will come to hold back the pictures still queued.
        m_soundPaced = false;
        return PresentNext();
    }
    if (r == 0)
        return Flow::kNext;
    int n = static_cast<int>(std::min<uint32_t>(size, kBufferBytes));
    if (ChunkIsVideo(id))
        return RouteVideo(ChunkStream(id), n);
    if (ChunkIsAudio(id))
        return RouteAudio(n);
    if (ChunkIsText(id))
        return RouteText(n);
    return Flow::kReturn;
}

bool CTRSMediaPlayer::IsKeyFrame(const uint8_t* data, int size) const {
    // The first NAL after the 4-byte start code: a non-IDR slice is the only kind that cannot
    // start decoding; an IDR slice or a parameter set can.
    if (size < 5)
        return false;
    return (data[4] & 0x1F) != 1;
}

CTRSMediaPlayer::Flow CTRSMediaPlayer::RouteVideo(int stream, int size) {
    const uint8_t* data = m_readBuffer.get();
    bool key = IsKeyFrame(data, size);
    if (m_waitKey[0]) {
        if (stream != 0 || !key)
            return Flow::kReturn;
        // Presentation starts over at the first front key frame.
        m_presentQueue.Clear();
        m_queuedVideo = 0;
        m_preroll = true;
        m_waitKey[0] = false;
    } else if (stream != 0) {
        if (m_waitKey[1]) {
            if (!key)
                return Flow::kReturn;
            m_waitKey[1] = false;
        }
        m_presentQueue.Push(data, size, kPresentRear);
        return m_preroll ? Flow::kReturn : PresentNext();
    }
    m_presentQueue.Push(data, size, kPresentFront);
    ++m_queuedVideo;
    if (m_preroll && m_queuedVideo < kPrerollMs * m_frontRate.load() / 1000)
        return Flow::kReturn;
    m_preroll = false;
    return PresentNext();
}

CTRSMediaPlayer::Flow CTRSMediaPlayer::RouteAudio(int size) {
    // Sound before the first front key frame would run ahead of any picture.
    if (m_waitKey[0])
        return Flow::kReturn;
    if (m_state.load() != kStep && m_speed.load() == 100) {
        m_sync.PushAudio(m_readBuffer.get(), size);
        m_soundPaced = m_pAudio != nullptr;
    }
    return m_preroll ? Flow::kReturn : Flow::kNext;
}

CTRSMediaPlayer::Flow CTRSMediaPlayer::RouteText(int size) {
    // The read buffer has one byte beyond its capacity, so the NUL always fits.
    m_readBuffer[size] = 0;
    m_presentQueue.Push(m_readBuffer.get(), size + 1, kPresentText);
    return Flow::kReturn;
}

CTRSMediaPlayer::Flow CTRSMediaPlayer::PresentNext() {
    for (;;) {
        int size = 0;
        int kind = 0;
        if (!m_presentQueue.Pop(m_presentBuffer.get(), kBufferBytes + 1, &size, &kind))
            return Flow::kEnd;
        switch (kind) {
            case kPresentText:
                DeliverText(size);
                break;
            case kPresentRear:
                return PresentRear(size);
            case kPresentFront:
                return PresentFront(size);
            default:
                break;
        }
    }
}

void CTRSMediaPlayer::DeliverText(int size) {
    if (m_pfnText)
        m_pfnText(m_textContext, m_presentBuffer.get(), size, TimeOfFrame(m_currentFrame.load()));
}

bool CTRSMediaPlayer::DecodeUnlocked(int channel, int size, bool show, bool* current) {
    VVideoWindow* window = channel == 0 ? m_frontWindow : m_rearWindow;
    bool decoded = false;
    // Decoding and scaling are the longest work of a packet; the decoder serialises its own
    // calls, and the packet is the player thread's own.
    *current = WaitUnlocked([&] {
        decoded = m_pDecoder->DecodeFrame(channel, window, m_presentBuffer.get(), size, show);
    });
    return decoded;
}

CTRSMediaPlayer::Flow CTRSMediaPlayer::PresentRear(int size) {
    bool step = m_state.load() == kStep;
    bool current = true;
    if (!DecodeUnlocked(1, size, !step, &current) || !current || !step)
        return current ? Flow::kNext : Flow::kReturn;
    // A stepped two-camera recording is complete once the rear picture is in as well.
    CompleteStep(true);
    return Flow::kNext;
}

CTRSMediaPlayer::Flow CTRSMediaPlayer::PresentFront(int size) {
    // A picture whose presentation was reset while it waited belongs to the old place.
    if (!WaitUnlocked([this] { m_sync.WaitAudio(); }) || !PaceFrontFrame())
        return Flow::kReturn;
    m_currentFrame.fetch_add(1);
    m_shownPicture.store(m_nextPicture++);
    bool step = m_state.load() == kStep;
    bool current = true;
    if (!DecodeUnlocked(0, size, !step, &current) || !current || !step || m_twoCamera)
        return current ? Flow::kNext : Flow::kReturn;
    CompleteStep(false);
    return Flow::kNext;
}

void CTRSMediaPlayer::CompleteStep(bool withRear) {
    m_captureGate.store(kGateStepped);
    m_pDecoder->Redraw(0, m_frontWindow);
    if (withRear)
        m_pDecoder->Redraw(1, m_rearWindow);
    // Paused only once the picture is up; a Play that came in meanwhile keeps playing.
    int expected = kStep;
    m_state.compare_exchange_strong(expected, kPaused);
}

bool CTRSMediaPlayer::PaceFrontFrame() {
    if (!m_pacing.load())
        return true;
    using Clock = std::chrono::steady_clock;
    Clock::time_point due = NextClockTime();
    // With no sound going out, or none left to come, nothing but the clock holds the pictures.
    if (!m_soundPaced)
        return Clock::now() >= due || SleepUnlocked(due);
    // The formula runs a little fast and leaves the sound to hold the pictures back through
    // WaitAudio. It never keeps a picture past its clock time, so one held up by work catches up.
    // dt is the work done since the last release; the sleep tops it up to about one period.
    int dt = static_cast<int>(TickCountMs() - m_lastRelease);
    dt = std::clamp(dt, 0, 60);
    m_paceWindow.Add(dt);
    if (m_paceWindow.GetSize() > kPaceWindow)
        m_paceWindow.RemoveAt(0);
    int sum = 0;
    for (int i = 0; i < m_paceWindow.GetSize(); ++i)
        sum += m_paceWindow[i];
    int mean = sum / m_paceWindow.GetSize();
    int rate = m_frontRate.load();
    int period = 1000 / (rate > 0 ? rate : 30);
    int wait = period - mean - 2;
    if (m_tracePacing)
        std::printf("[%02d] dif %2d, mean %2d : %2d msec\n", 0, dt, mean, wait);
    bool current = true;
    if (wait > 0) {
        int64_t untilDue =
            std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()).count();
        int64_t sleep = std::min<int64_t>({wait, period, untilDue});
        if (sleep > 0)
            current = SleepUnlocked(Clock::now() + std::chrono::milliseconds(sleep));
    }
    m_lastRelease = TickCountMs();
    return current;
}

std::chrono::steady_clock::time_point CTRSMediaPlayer::NextClockTime() {
    using Clock = std::chrono::steady_clock;
    // Pictures held up for a moment catch up; after a longer stall the count starts again
    // rather than hurrying through what was missed.
    constexpr auto kLateLimit = std::chrono::milliseconds(300);
    int rate = m_frontRate.load();
    if (rate <= 0)
        rate = 30;
    Clock::time_point now = Clock::now();
    Clock::time_point due =
        m_clockStart + std::chrono::microseconds(int64_t{m_clockFrames} * 100000000 /
                                                 (int64_t{rate} * m_speed.load()));
    if (m_clockFrames == 0 || now - due > kLateLimit) {
        m_clockStart = now;
        m_clockFrames = 0;
        due = now;
    }
    ++m_clockFrames;
    return due;
}

bool CTRSMediaPlayer::SeekToFrame(int64_t frame) {
    int rate = m_frontRate.load();
    if (m_totalFrames <= 0 || rate <= 0)
        return false;
    int current = static_cast<int>(std::clamp<int64_t>(frame, 0, m_totalFrames - 1));
    bool snaps = m_pParser->SeekSnapsToSecond();
    int reached = m_pParser->SeekTime(static_cast<float>(current) / rate);
    // Presentation resumes at the first picture of the group reached.
    m_nextPicture = current;
    if (snaps) {
        // The picture shown next is the first of the place reached, which need not lie on a
        // whole second; the time counts from it.
        const int first = m_pParser->GetSeekFrame();
        m_nextPicture = first >= 0 ? first : current - current % GroupLength();
        current = first >= 0 ? first : reached * rate;
    }
    m_currentFrame.store(current);
    ResetPresentation();
    return true;
}

void CTRSMediaPlayer::ResetPresentation() {
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_resets.fetch_add(1);
    }
    m_wake.notify_all();
    m_sync.CancelWait();
    // Sound queued before a jump, a step or a close belongs to the old place.
    m_sync.ClearAudio();
    m_waitKey[0] = true;
    m_waitKey[1] = true;
    m_presentQueue.Clear();
    m_queuedVideo = 0;
    m_preroll = true;
    m_soundPaced = false;
    m_clockFrames = 0;
    m_stepReady = false;
}

}  // namespace locket
