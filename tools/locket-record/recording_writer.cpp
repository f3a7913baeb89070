#include "tools/locket-record/recording_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <tuple>

#include "tat/tat_format.h"
#include "tat/tat_writer.h"
#include "tools/locket-record/h264_encoder.h"
#include "tools/locket-record/road_scene.h"
#include "tools/locket-record/seeded_random.h"
#include "tools/locket-record/sensor_packets.h"
#include "tools/locket-record/track_generator.h"
#include "tools/locket-record/video_import.h"

namespace locket {

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

uint32_t FrameTimeMs(int64_t frame, int fps) {
    return static_cast<uint32_t>(frame * 1000 / fps);
}

// Collects packets from the sources and writes them in (time, order) order once no source can
// still produce an earlier one.
class CPacketMerger {
public:
    CPacketMerger(CTatWriter& writer, RecordingStats* stats) : m_writer(writer), m_stats(stats) {}

    void Add(PendingPacket p) { m_pending.push_back(std::move(p)); }
    std::vector<PendingPacket>* Pending() { return &m_pending; }

    // Writes every pending packet with a time up to `untilMs` (inclusive); with `exclusive` only
    // those before it.
    bool WriteUpTo(uint32_t untilMs, bool exclusive) {
        // Stable: packets of one time and order keep the order their source made them in.
        std::stable_sort(m_pending.begin(), m_pending.end(),
                         [](const PendingPacket& a, const PendingPacket& b) {
                             return std::tie(a.timeMs, a.order) < std::tie(b.timeMs, b.order);
                         });
        size_t n = 0;
        for (; n < m_pending.size(); ++n) {
            const PendingPacket& p = m_pending[n];
            if (exclusive ? p.timeMs >= untilMs : p.timeMs > untilMs)
                break;
            if (!m_writer.WritePacket(p.stream, p.kind, p.timeMs, p.data.data(),
                                      static_cast<uint32_t>(p.data.size())))
                return false;
            m_lastTime = p.timeMs;
            m_written += tatfmt::kPacketHeaderBytes + p.data.size();
            Count(p);
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(n));
        return true;
    }

    bool WriteAll() { return WriteUpTo(UINT32_MAX, false); }

    // Grows the recording to at least `bytes` with filler text packets ('P', which players
    // ignore), as a recorder that preallocates its files leaves them.
    bool PadTo(uint64_t bytes) {
        while (m_written + tatfmt::kPacketHeaderBytes < bytes) {
            const uint64_t room = bytes - m_written - tatfmt::kPacketHeaderBytes;
            PendingPacket p;
            p.timeMs = m_lastTime;
            p.kind = kTatKindText;
            p.order = kOrderText;
            p.data.assign(static_cast<size_t>(std::min<uint64_t>(room, tatfmt::kMaxPayloadBytes)),
                          0);
            p.data[0] = 'P';
            m_pending.push_back(std::move(p));
            if (!WriteAll())
                return false;
        }
        return true;
    }

private:
    void Count(const PendingPacket& p) {
        switch (p.kind) {
            case kTatKindGroupStart:
                ++m_stats->groups;
                ++m_stats->frontFrames;
                break;
            case kTatKindVideo:
                ++(p.stream == 0 ? m_stats->frontFrames : m_stats->rearFrames);
                break;
            case kTatKindAudio:
                ++m_stats->audioPackets;
                break;
            default:
                ++m_stats->textPackets;
                break;
        }
    }

    CTatWriter& m_writer;
    RecordingStats* m_stats;
    std::vector<PendingPacket> m_pending;
    uint32_t m_lastTime = 0;
    uint64_t m_written = tatfmt::kHeaderBytes;
};

std::string ClockText(const RecordingTime& start, int64_t seconds) {
    const RecordingTime t = AddSeconds(start, seconds);
    char text[40];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

bool Close(CTatWriter& writer, const RecordingPlan& plan) {
    if (!plan.powerCut)
        return writer.Finish();
    // Half of the last packet reaches the card: its header and part of its payload.
    return writer.CutAsPowerLoss(writer.LastPacketBytes() / 2);
}

bool WriteSynthetic(const RecordingPlan& plan, const RecordOptions& o, const CDriveModel& drive,
                    CPacketMerger& merger, std::string* error) {
    const int fps = o.fps;
    const int64_t frames = static_cast<int64_t>(plan.seconds) * fps;
    const int lead = o.startMidGroup;
    const uint32_t durationMs = static_cast<uint32_t>(plan.seconds) * 1000;

    CH264Encoder front, rear;
    if (!front.Open(o.width, o.height, fps) ||
        (plan.rear && !rear.Open(o.rearWidth, o.rearHeight, fps))) {
        *error = "cannot open the H.264 encoder";
        return false;
    }
    CRoadScene frontScene(o.width, o.height, false, plan.seed);
    std::unique_ptr<CRoadScene> rearScene;
    if (plan.rear)
        rearScene = std::make_unique<CRoadScene>(o.rearWidth, o.rearHeight, true, plan.seed);
    CTrackGenerator tracks(plan, drive, durationMs);

    // Encoder packets become pending packets at the time of their picture; the lead-in
    // pictures of --start-mid-group are encoded but never written.
    auto take = [&](std::vector<EncodedPacket>& packets, bool isFront) {
        for (EncodedPacket& e : packets) {
            const int64_t index = e.frame - lead;
            if (index < 0)
                continue;
            PendingPacket p;
            p.timeMs = FrameTimeMs(index, fps);
            p.order = isFront ? kOrderFront : kOrderRear;
            p.stream = isFront ? 0 : 1;
            p.kind = isFront && e.key ? kTatKindGroupStart : kTatKindVideo;
            p.data = std::move(e.data);
            merger.Add(std::move(p));
        }
        packets.clear();
    };

    cv::Mat picture;
    std::vector<EncodedPacket> packets;
    for (int64_t e = 0; e < frames + lead; ++e) {
        const int64_t index = e - lead;
        const double seconds = static_cast<double>(index) / fps;
        const DriveState s = tracks.StateAt(std::max(0.0, seconds));
        SceneInput in;
        in.frame = static_cast<int>(index & 0xFFFF);
        in.distanceM = s.distanceM + (seconds < 0 ? seconds * s.speedKmh / 3.6 : 0);
        in.yawRateDegS = s.yawRateDegS;
        in.speedKmh = s.speedKmh;
        in.seconds = plan.offsetS + seconds;
        in.brake = s.brake;
        in.clockText = ClockText(plan.time, static_cast<int64_t>(std::floor(seconds)));
        if (tracks.ShockAtS() >= 0 && std::fabs(seconds - tracks.ShockAtS() - 0.1) < 0.15) {
            // The knock shakes the camera for a few pictures.
            in.yawRateDegS += (index % 2 ? 40 : -40);
        }
        frontScene.Draw(in, &picture);
        if (!front.Encode(picture, &packets)) {
            *error = "the front encoder failed";
            return false;
        }
        take(packets, true);
        if (rearScene) {
            rearScene->Draw(in, &picture);
            if (!rear.Encode(picture, &packets)) {
                *error = "the rear encoder failed";
                return false;
            }
            take(packets, false);
        }
        if (index < 0)
            continue;
        const uint32_t now = FrameTimeMs(index, fps);
        tracks.Pump(now, merger.Pending());
        // An encoder that still holds a picture keeps back everything from that picture's time.
        int64_t held = front.OldestPending();
        if (rearScene && rear.OldestPending() >= 0)
            held = held < 0 ? rear.OldestPending() : std::min(held, rear.OldestPending());
        const bool ok =
            held < 0 ? merger.WriteUpTo(now, false)
                     : merger.WriteUpTo(FrameTimeMs(std::max<int64_t>(0, held - lead), fps), true);
        if (!ok) {
            *error = "writing the recording failed";
            return false;
        }
    }
    if (!front.Flush(&packets)) {
        *error = "the front encoder failed";
        return false;
    }
    take(packets, true);
    if (rearScene) {
        if (!rear.Flush(&packets)) {
            *error = "the rear encoder failed";
            return false;
        }
        take(packets, false);
    }
    tracks.Pump(durationMs, merger.Pending());
    if (!merger.WriteAll()) {
        *error = "writing the recording failed";
        return false;
    }
    return true;
}

bool WriteImported(const RecordingPlan& plan, CVideoImport& video, const CDriveModel& drive,
                   CPacketMerger& merger, RecordingStats* stats, std::string* error) {
    const int fps = video.Fps();
    // The footage sets the length; sound and sensors are made up to match it.
    // An event's knock goes to the middle of the footage as far as the container knows it.
    RecordingPlan footage = plan;
    footage.seconds = std::max(1, video.DurationSeconds());
    CTrackGenerator tracks(footage, drive, UINT32_MAX);
    std::vector<uint8_t> au;
    bool key = false;
    int64_t index = 0;
    while (video.Next(&au, &key, error)) {
        PendingPacket p;
        p.timeMs = FrameTimeMs(index, fps);
        p.order = kOrderFront;
        p.kind = key ? kTatKindGroupStart : kTatKindVideo;
        p.data = std::move(au);
        merger.Add(std::move(p));
        tracks.Pump(FrameTimeMs(index, fps), merger.Pending());
        if (!merger.WriteUpTo(FrameTimeMs(index, fps), false)) {
            *error = "writing the recording failed";
            return false;
        }
        ++index;
    }
    if (!error->empty())
        return false;
    if (index == 0) {
        *error = "the footage holds no video packets";
        return false;
    }
    // Sound and sensors up to the end of the last picture.
    const uint32_t end = FrameTimeMs(index, fps);
    if (end > 0)
        tracks.Pump(end - 1, merger.Pending());
    stats->oddNonKey = video.OddNonKeyUnits();
    stats->reencoded = video.ReencodeReason();
    return merger.WriteAll();
}

}  // namespace

bool DamageMiddle(const std::string& path, int bytes, uint32_t seed) {
    std::error_code ec;
    const auto size = static_cast<int64_t>(std::filesystem::file_size(path, ec));
    if (ec || size < 8 || bytes <= 0)
        return false;
    const int64_t n = std::min<int64_t>(bytes, size / 4);
    const int64_t at = size / 2 - n / 2;
    std::unique_ptr<FILE, FileCloser> f(std::fopen(path.c_str(), "r+b"));
    if (!f || std::fseek(f.get(), static_cast<long>(at), SEEK_SET) != 0)
        return false;
    CSeededRandom rng(seed ^ 0xDA4A6Eu);
    std::vector<uint8_t> noise(static_cast<size_t>(n));
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(rng.Int(0, 255));
    return std::fwrite(noise.data(), 1, noise.size(), f.get()) == noise.size();
}

bool WriteRecording(const RecordingPlan& plan, const RecordOptions& o, const CDriveModel& drive,
                    RecordingStats* stats, std::string* error) {
    *stats = RecordingStats{};
    error->clear();
    TatRecordingDesc desc;
    CVideoImport video;
    if (!plan.importFile.empty()) {
        if (!video.Open(plan.importFile, error))
            return false;
        desc.fps0 = video.Fps();
        desc.width0 = video.Width();
        desc.height0 = video.Height();
    } else {
        desc.fps0 = o.fps;
        desc.width0 = o.width;
        desc.height0 = o.height;
        if (plan.rear) {
            desc.fps1 = o.fps;
            desc.width1 = o.rearWidth;
            desc.height1 = o.rearHeight;
        }
    }
    CTatWriter writer;
    if (!writer.Create(plan.path, desc)) {
        *error = "cannot create " + plan.path;
        return false;
    }
    CPacketMerger merger(writer, stats);
    const bool ok = plan.importFile.empty()
                        ? WriteSynthetic(plan, o, drive, merger, error)
                        : WriteImported(plan, video, drive, merger, stats, error);
    const bool padded =
        ok && (o.minKib <= 0 || merger.PadTo(static_cast<uint64_t>(o.minKib) * 1024));
    if (!padded && error->empty())
        *error = "writing the recording failed";
    if (!padded) {
        writer.Finish();
        std::filesystem::remove(plan.path);
        return false;
    }
    if (!Close(writer, plan)) {
        *error = "cannot finish " + plan.path;
        return false;
    }
    if (plan.damageBytes > 0 && !DamageMiddle(plan.path, plan.damageBytes, plan.seed)) {
        *error = "cannot damage " + plan.path;
        return false;
    }
    std::error_code ec;
    stats->bytes = static_cast<int64_t>(std::filesystem::file_size(plan.path, ec));
    return true;
}

}  // namespace locket
