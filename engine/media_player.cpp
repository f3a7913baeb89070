#include "engine/media_player.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "files/recording_names.h"
#include "platform/clock.h"

namespace locket {

CTRSMediaPlayer::CTRSMediaPlayer()
    : m_tracePacing(std::getenv("LOCKET_TRACE_PACING") != nullptr),
      m_readBuffer(new uint8_t[kBufferBytes + 1]),
      m_presentBuffer(new uint8_t[kBufferBytes + 1]) {
    // The recorder's player raised the system timer resolution here for its whole life; Linux
    // sleeps are fine-grained already, so there is nothing to raise.
}

CTRSMediaPlayer::~CTRSMediaPlayer() {
    Shutdown();
}

bool CTRSMediaPlayer::Start(VVideoWindow* front, VVideoWindow* rear) {
    if (m_started || !m_pParser || !m_pDecoder)
        return false;
    m_frontWindow = front;
    m_rearWindow = rear;
    m_quit.store(false);
    m_pParser->StartReader();
    m_pDecoder->Open();
    if (m_pAudio)
        m_pAudio->Open(m_audioBits, m_audioRate);
    m_sync.SetAudio(m_pAudio);
    m_sync.Start();
    m_started = true;
    m_thread.BeginThread(&CTRSMediaPlayer::ThreadPass, this);
    return true;
}

void CTRSMediaPlayer::Shutdown() {
    if (!m_started)
        return;
    m_started = false;
    // A playing pass only returns at a text packet or the end: pausing lets it return now.
    m_state.store(kPaused);
    m_thread.RequestStop();
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_quit.store(true);
    }
    m_wake.notify_all();
    m_sync.CancelWait();
    m_thread.StopThread();
    m_sync.Stop();
    m_pParser->StopReader();
    if (m_pAudio)
        m_pAudio->Close();
}

bool CTRSMediaPlayer::Open(const char* path) {
    if (!path)
        path = "";
    m_session.fetch_add(1);
    m_state.store(kPaused);
    {
        CSyncLock lock(m_lock);
        m_twoCamera = RecordingHasRear(path);
        // Even a recording the parser refuses counts as open: its end is reported at once.
        m_mediaOpen.store(true);
        m_pendingSeek.store(-1);
        m_currentFrame.store(0);
        m_shownPicture.store(-1);
        m_nextPicture = 0;
        m_duration.store(0);
        m_totalFrames = 0;
        MediaInfo info;
        if (m_pParser && m_pParser->OpenMedia(path, &info) != 0) {
            m_path = path;
            uint32_t bits = 0;
            uint32_t rate = 0;
            m_pParser->GetAudioFormat(&bits, &rate);
            if (static_cast<int>(bits) != m_audioBits || static_cast<int>(rate) != m_audioRate) {
                m_audioBits = static_cast<int>(bits);
                m_audioRate = static_cast<int>(rate);
                if (m_pAudio) {
                    m_pAudio->Close();
                    m_pAudio->Open(m_audioBits, m_audioRate);
                }
            }
            m_frontRate.store(m_pParser->GetFrameRate(0));
            m_rearRate.store(m_pParser->GetFrameRate(1));
            // Without a frame rate there is no time axis: duration 0, and seeking does nothing.
            if (info.fps0 > 0) {
                // In 64 bits and capped: a header may claim any count.
                const int64_t frames = std::max<int64_t>(info.frameCount0, 0);
                m_duration.store(static_cast<int>(
                    std::min<int64_t>(frames * 1000 / info.fps0, std::numeric_limits<int>::max())));
                m_totalFrames = static_cast<int>(frames);
            }
        }
        ResetPresentation();
        // The channels forget the last recording's pictures: a capture or redraw before the
        // first picture of this one must not show the other.
        if (m_pDecoder)
            m_pDecoder->Open();
    }
    Resume(kPlaying);
    return true;
}

void CTRSMediaPlayer::Close() {
    m_mediaOpen.store(false);
    m_session.fetch_add(1);
    m_state.store(kPaused);
    {
        CSyncLock lock(m_lock);
        m_captureGate.store(kGateClosed);
        m_pendingSeek.store(-1);
        m_shownPicture.store(-1);
        if (m_pParser)
            m_pParser->CloseMedia();
        ResetPresentation();
    }
    // An event decided before Close began is delivered before Close returns; none after.
    CSyncLock wait(m_eventLock);
}

bool CTRSMediaPlayer::SeekTo(int ms) {
    if (!m_mediaOpen.load())
        return true;
    const int rate = m_frontRate.load();
    if (rate <= 0)
        return false;
    int64_t frame = static_cast<int64_t>(rate) * ms / 1000;
    if (m_state.load() != kPaused) {
        m_pendingSeek.store(static_cast<int>(std::clamp<int64_t>(frame, 0, INT32_MAX)));
        return true;
    }
    {
        CSyncLock lock(m_lock);
        // A step without a seek would read on from where the reader stands: past the end of an
        // ended recording it would end it again.
        if (!SeekToFrame(frame))
            return false;
    }
    Resume(kStep);
    return true;
}

int CTRSMediaPlayer::TimeOfFrame(int frame) const {
    int rate = m_frontRate.load();
    return static_cast<int>(static_cast<int64_t>(frame) * 1000 / (rate > 0 ? rate : 30));
}

int CTRSMediaPlayer::GetCurTime() const {
    return TimeOfFrame(m_currentFrame.load());
}

int CTRSMediaPlayer::GetChannelCount() const {
    if (!m_path.empty())
        return RecordingHasRear(m_path) ? 2 : 1;
    return m_rearRate.load() != 0 ? 2 : 1;
}

void CTRSMediaPlayer::Redraw() {
    if (m_state.load() == kStep || !m_pDecoder)
        return;
    CSyncLock lock(m_lock);
    m_pDecoder->Redraw(0, m_frontWindow);
    m_pDecoder->Redraw(1, m_rearWindow);
}

bool CTRSMediaPlayer::Capture(int channel, const char* path) {
    if (m_captureGate.load() == kGateClosed || !m_pDecoder)
        return false;
    CSyncLock lock(m_lock);
    return m_pDecoder->SaveFrame(channel, path);
}

void CTRSMediaPlayer::SetBrightness(int channel, int level) {
    if (m_pDecoder)
        m_pDecoder->SetBrightness(channel, level);
}

void CTRSMediaPlayer::SetFlip(int channel, int mode) {
    if (m_pDecoder)
        m_pDecoder->SetFlip(channel, mode);
}

void CTRSMediaPlayer::SetEventCallback(EventCallback callback, void* context) {
    m_pfnEvent = callback;
    m_eventContext = context;
}

void CTRSMediaPlayer::SetTextCallback(TextCallback callback, void* context) {
    m_pfnText = callback;
    m_textContext = context;
}

bool CTRSMediaPlayer::ThreadPass(void* self) {
    static_cast<CTRSMediaPlayer*>(self)->ThreadProc();
    return true;
}

void CTRSMediaPlayer::Resume(int state) {
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_state.store(state);
    }
    m_wake.notify_all();
}

void CTRSMediaPlayer::ThreadProc() {
    int state = m_state.load();
    if (state != kPlaying && state != kStep) {
        const auto resumed = [this] {
            int s = m_state.load();
            return s == kPlaying || s == kStep || m_quit.load();
        };
        std::unique_lock<std::mutex> lock(m_wakeMutex);
        // A pause drops the seek the playing loop had no time to make, not one after a Play:
        // Resume sets the state under this mutex, before any seek that follows it.
        if (!resumed())
            m_pendingSeek.store(-1);
        m_wake.wait(lock, resumed);
        return;
    }
    bool ended = false;
    bool filling = false;
    unsigned session = 0;
    m_passRunning.store(true);
    {
        CSyncLock lock(m_lock);
        session = m_session.load();
        // A Pause may have come since the state was read; a picture step made in that time must
        // not be played over.
        state = m_state.load();
        if (!m_mediaOpen.load()) {
            // Nothing to play: Play after Close, or before any Open.
            m_state.store(kPaused);
        } else if (state == kPlaying || state == kStep) {
            ended = !PlayLoop();
            filling = m_preroll;
            // The gate is written under the lock so that a Close waiting for it has the last word.
            if (ended) {
                m_captureGate.store(kGateClosed);
                m_state.store(kPaused);
            } else if (state == kPlaying && m_session.load() == session) {
                m_captureGate.store(kGatePlaying);
            }
        }
    }
    m_passRunning.store(false);
    // While the queue fills after an open or a seek the pass returns at every packet, letting
    // the lock go for the user-interface calls; a sleep each time would delay the first picture.
    // One now and then still lets a waiting call in when no key frame comes for long.
    if (ended)
        RaiseMediaEnd(session);
    else if (!filling || ++m_fillingPasses % kFillingPassesPerSleep == 0)
        SleepMs(1);
}

void CTRSMediaPlayer::RaiseMediaEnd(unsigned session) {
    CSyncLock lock(m_eventLock);
    if (!m_mediaOpen.load() || m_session.load() != session)
        return;
    if (m_pfnEvent)
        m_pfnEvent(m_eventContext, kEventMediaEnd, 0, 0);
}

}  // namespace locket
