// The playback spine: pulls packets from a parser, queues video and text for presentation,
// sends audio to the feeder, paces front pictures to the frame rate, and runs the
// play / pause / step state machine on a thread of its own.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "base/single_thread.h"
#include "base/sync.h"
#include "base/vip_array.h"
#include "engine/audio.h"
#include "engine/media_decoder.h"
#include "engine/media_sync.h"
#include "engine/present_queue.h"
#include "files/media_parser.h"
#include "platform/video_window.h"

namespace locket {

class CTRSMediaPlayer {
public:
    // Called on the player thread without the player's lock; must not call back into the
    // player (the main window only posts a message).
    using EventCallback = void (*)(void* context, int code, int a, int b);
    // The text packet with one added NUL (counted in `size`), stamped with the playback time.
    using TextCallback = void (*)(void* context, const uint8_t* data, int size, int timeMs);

    static constexpr int kEventMediaEnd = 1;

    enum State : int { kPaused = 0, kPlaying = 1, kStep = 10 };
    enum Gate : int { kGatePlaying = 0, kGateStepped = 1, kGateClosed = 2 };

    static constexpr uint32_t kBufferBytes = 0x100000;
    static constexpr int kPrerollMs = 700;
    static constexpr int kPaceWindow = 24;
    // The longest wait for the reader before the loop looks at its state again.
    static constexpr uint32_t kReadWaitMs = 1000;

    CTRSMediaPlayer();
    virtual ~CTRSMediaPlayer();
    CTRSMediaPlayer(const CTRSMediaPlayer&) = delete;
    CTRSMediaPlayer& operator=(const CTRSMediaPlayer&) = delete;

    // Once, after the parser, decoder, audio and callbacks are set. False when the parser or
    // the decoder is missing.
    bool Start(VVideoWindow* front, VVideoWindow* rear);
    void Shutdown();

    // Always true: a recording the parser refuses ends at once with the media-end event.
    bool Open(const char* path);
    // Leaves the player closed and paused; no media-end event follows once it has returned.
    void Close();
    void Play() { Resume(kPlaying); }
    void Pause() { m_state.store(kPaused); }
    // False when the recording has nothing to seek in: no frame rate, or, seen at once when
    // paused, no frames.
    bool SeekTo(int ms);

    int GetCurTime() const;
    int GetDuration() const { return m_duration.load(); }
    int GetState() const { return m_state.load(); }
    // 2 for a two-camera recording, else 1.
    int GetChannelCount() const;

    // Draws both channels' last pictures again at their windows' sizes (not while a step is on
    // its way): a view just shown gets the current picture at once.
    void Redraw();
    bool Capture(int channel, const char* path);
    void SetBrightness(int channel, int level);
    void SetFlip(int channel, int mode);

    void SetEventCallback(EventCallback callback, void* context);
    void SetTextCallback(TextCallback callback, void* context);
    // Front pictures follow the frame rate unless switched off (for measuring throughput).
    void SetPacing(bool on) { m_pacing.store(on); }

    // Play speed in percent of real time: one of kSpeeds; others are refused. Sound plays only
    // at 100: sped-up or slowed sound would be no evidence of anything.
    static constexpr int kSpeeds[] = {25, 50, 100, 200, 400};
    bool SetSpeed(int percent);
    int GetSpeed() const { return m_speed.load(); }
    // While paused: shows the picture `delta` pictures after (or before) the one shown, on both
    // cameras, decoding from its group's key picture. False when not paused, nothing is open,
    // or the parser cannot seek to a group.
    bool StepFrames(int delta);
    // Number of the front picture shown, counted from 0 at the recording's start; -1 before one.
    int GetShownPicture() const { return m_shownPicture.load(); }
    // When the picture shown was taken, ms from the recording's start (GetCurTime is the end
    // of its period).
    int GetShownTime() const { return TimeOfFrame(std::max(m_shownPicture.load(), 0)); }

    // Set by the owner before Start; not owned. m_pAudio may stay null.
    VMediaParser* m_pParser = nullptr;
    VAudio* m_pAudio = nullptr;
    VMediaDecoder* m_pDecoder = nullptr;

    // 0 playing, 1 paused at a stepped picture, 2 nothing open or ended (Capture refused).
    std::atomic<int> m_captureGate{kGateClosed};

    // Serialises the player thread's work against the user-interface calls. The player thread
    // lets it go while it waits (for the reader, the sound, a picture's time) and while it
    // decodes, so a call never waits longer than the routing of one packet.
    CSync m_lock{"none"};

private:
    enum class Flow { kNext, kReturn, kEnd };

    static bool ThreadPass(void* self);
    void ThreadProc();
    void RaiseMediaEnd(unsigned session);
    // Sets a playing or step state and wakes the player thread from its paused wait.
    void Resume(int state);

    // One read-and-present pass; false when the stream has ended and the queue ran dry.
    bool PlayLoop();
    Flow ReadAndRoute();
    Flow RouteVideo(int stream, int size);
    Flow RouteAudio(int size);
    Flow RouteText(int size);
    Flow PresentNext();
    Flow PresentFront(int size);
    Flow PresentRear(int size);
    // Decodes the packet in m_presentBuffer for `channel` without m_lock; *current false when
    // the presentation was reset meanwhile. True when the decoder took the packet.
    bool DecodeUnlocked(int channel, int size, bool show, bool* current);
    void DeliverText(int size);
    void CompleteStep(bool withRear);
    // False when the presentation was reset during a wait: the picture in hand is stale.
    bool PaceFrontFrame();
    // Runs `wait` with m_lock let go (the caller holds it); false when the presentation was
    // reset meanwhile (an open, a close or a seek), so what the caller holds belongs to the old.
    template <class Wait>
    bool WaitUnlocked(Wait&& wait);
    // Sleeps until `due` without m_lock; wakes early only for a reset or Shutdown.
    bool SleepUnlocked(std::chrono::steady_clock::time_point due);
    // When the next front picture is due by the clock alone.
    std::chrono::steady_clock::time_point NextClockTime();
    // False, and nothing changed, when there is nothing to seek in. Under m_lock.
    bool SeekToFrame(int64_t frame);
    // Reads on and decodes front pictures up to number `target` (and the rear ones of the same
    // numbers), the next front one being number `next`; draws only the last. Under m_lock.
    bool DecodeUpTo(int next, int target);
    // Pictures in a key-frame group of the parser's recordings.
    static int GroupLength();
    void ResetPresentation();
    bool IsKeyFrame(const uint8_t* data, int size) const;
    int TimeOfFrame(int frame) const;

    CSingleThread m_thread;
    CMediaSync m_sync;
    CPresentQueue m_presentQueue;

    VVideoWindow* m_frontWindow = nullptr;
    VVideoWindow* m_rearWindow = nullptr;
    EventCallback m_pfnEvent = nullptr;
    void* m_eventContext = nullptr;
    TextCallback m_pfnText = nullptr;
    void* m_textContext = nullptr;
    bool m_started = false;

    std::atomic<int> m_state{kPaused};
    std::atomic<int> m_pendingSeek{-1};
    std::atomic<int> m_currentFrame{0};
    std::atomic<int> m_frontRate{0};
    std::atomic<int> m_rearRate{0};
    std::atomic<int> m_duration{0};
    std::atomic<bool> m_pacing{true};
    std::atomic<int> m_speed{100};
    // A playing pass is under way; it may be decoding without m_lock.
    std::atomic<bool> m_passRunning{false};
    std::atomic<int> m_shownPicture{-1};
    // A recording is open (also one the parser refused); cleared by Close before anything else.
    std::atomic<bool> m_mediaOpen{false};
    // Bumped by Open and Close: an end found in an earlier session raises no event.
    std::atomic<unsigned> m_session{0};
    // Bumped under m_lock by every reset of the presentation; the player thread compares it
    // across its unlocked waits.
    std::atomic<unsigned> m_resets{0};
    // Set by Shutdown: every wait of the player thread ends.
    std::atomic<bool> m_quit{false};
    // -- player thread only
    static constexpr unsigned kFillingPassesPerSleep = 64;
    unsigned m_fillingPasses = 0;
    // The per-picture pacing trace line, when LOCKET_TRACE_PACING is set.
    const bool m_tracePacing;

    // Held while the media-end event is delivered, so Close can wait for one on its way.
    CSync m_eventLock{"none"};

    // The paused or pacing player thread waits here, so that a new state, a reset or Shutdown
    // takes effect at once. Taken after m_lock, never before it.
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;

    // -- protected by m_lock
    bool m_preroll = true;
    bool m_waitKey[2] = {true, true};
    bool m_twoCamera = false;
    int m_queuedVideo = 0;
    int m_totalFrames = 0;
    int m_audioBits = 16;
    int m_audioRate = 8000;
    uint32_t m_lastRelease = 0;
    CVipArrBase<int> m_paceWindow;
    // Sound goes to an output and more is to come: its pace holds the pictures back.
    bool m_soundPaced = false;
    // Front pictures counted from m_clockStart at the frame rate.
    std::chrono::steady_clock::time_point m_clockStart;
    int m_clockFrames = 0;
    // Number of the next front picture presented.
    int m_nextPicture = 0;
    // The read position stands right after a stepped picture: a step forward reads on.
    bool m_stepReady = false;
    // One spare byte so a text packet that fills the buffer still gets its NUL.
    std::unique_ptr<uint8_t[]> m_readBuffer;
    std::unique_ptr<uint8_t[]> m_presentBuffer;

    // -- user-interface thread only
    std::string m_path;
};

}  // namespace locket
