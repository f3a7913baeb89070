// Picture steps and play speed: the player's controls for looking at an incident closely.
#include <algorithm>
#include <chrono>

#include "engine/media_player.h"
#include "files/tat_parser.h"
#include "platform/clock.h"

namespace locket {

namespace {

// A step waits this long at most for the reader to deliver the packets it needs.
constexpr auto kStepPatience = std::chrono::seconds(3);

}  // namespace

int CTRSMediaPlayer::GroupLength() {
    return std::max(1, static_cast<int>(CTATParser::GetKeyFrameGroupLength()));
}

bool CTRSMediaPlayer::SetSpeed(int percent) {
    if (std::find(std::begin(kSpeeds), std::end(kSpeeds), percent) == std::end(kSpeeds))
        return false;
    if (m_speed.exchange(percent) == percent)
        return true;
    CSyncLock lock(m_lock);
    // The clock counts again from the next picture; sound queued at the old speed is dropped.
    m_clockFrames = 0;
    m_soundPaced = false;
    m_sync.ClearAudio();
    return true;
}

bool CTRSMediaPlayer::StepFrames(int delta) {
    if (m_state.load() != kPaused || !m_mediaOpen.load() || !m_pParser || !m_pDecoder)
        return false;
    // The last pass of the playing loop may still be decoding a picture without the lock: the
    // step's pictures must not reach the decoder between its.
    const auto deadline = std::chrono::steady_clock::now() + kStepPatience;
    while (m_passRunning.load() && std::chrono::steady_clock::now() < deadline)
        SleepMs(1);
    CSyncLock lock(m_lock);
    const int rate = m_frontRate.load();
    if (m_totalFrames <= 0 || rate <= 0 || !m_pParser->SeekSnapsToSecond())
        return false;
    const int shown = m_shownPicture.load();
    const int target = std::clamp(std::max(shown, 0) + delta, 0, m_totalFrames - 1);
    if (target == shown)
        return true;
    if (m_stepReady && target == shown + 1)
        return DecodeUpTo(target, target);
    // Pictures depend on those before them back to their group's key picture.
    const int group = target - target % GroupLength();
    m_pParser->SeekTime(static_cast<float>(group) / rate);
    ResetPresentation();
    return DecodeUpTo(group, target);
}

bool CTRSMediaPlayer::DecodeUpTo(int next, int target) {
    m_stepReady = false;
    const bool withRear = m_twoCamera && m_rearRate.load() > 0;
    int front = next - 1;  // numbers of the last pictures decoded
    int rear = next - 1;
    bool waitRearKey = m_waitKey[1];
    const auto deadline = std::chrono::steady_clock::now() + kStepPatience;
    uint8_t* data = m_readBuffer.get();
    while (front < target || (withRear && rear < target)) {
        char id[5] = {0, 0, 0, 0, 0};
        uint32_t size = kBufferBytes;
        const int r = m_pParser->ParseMedia(id, data, &size);
        if (r < 0)
            break;
        if (r == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                break;
            m_pParser->WaitForPacket(10);
            continue;
        }
        const int n = static_cast<int>(std::min<uint32_t>(size, kBufferBytes));
        if (ChunkIsText(id)) {
            data[n] = 0;
            if (m_pfnText)
                m_pfnText(m_textContext, data, n + 1, TimeOfFrame(front + 1));
            continue;
        }
        if (!ChunkIsVideo(id))
            continue;  // sound is not played while stepping
        if (ChunkStream(id) == 0) {
            if (front >= target)
                continue;
            ++front;
            m_pDecoder->DecodeFrame(0, m_frontWindow, data, n, false);
        } else if (withRear && rear < target) {
            ++rear;
            if (waitRearKey && !IsKeyFrame(data, n))
                continue;
            waitRearKey = false;
            m_pDecoder->DecodeFrame(1, m_rearWindow, data, n, false);
        }
    }
    if (front < next)
        return false;
    m_pDecoder->Redraw(0, m_frontWindow);
    if (withRear)
        m_pDecoder->Redraw(1, m_rearWindow);
    // Playback goes on from here with the decoder's pictures as they stand.
    m_waitKey[0] = false;
    m_waitKey[1] = waitRearKey;
    m_presentQueue.Clear();
    m_queuedVideo = 0;
    m_preroll = true;
    m_nextPicture = front + 1;
    m_shownPicture.store(front);
    m_currentFrame.store(front + 1);
    m_captureGate.store(kGateStepped);
    m_stepReady = front == target && (!withRear || rear == target);
    return front == target;
}

}  // namespace locket
