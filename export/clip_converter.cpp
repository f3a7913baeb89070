#include "export/clip_converter.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <thread>

#include "base/byte_order.h"
#include "export/output_file.h"
#include "files/csv_writer.h"
#include "files/gpx_writer.h"
#include "files/mp4_writer.h"
#include "files/sensor_log.h"
#include "files/sha256_manifest.h"
#include "tat/card_layout.h"
#include "tat/tat_reader.h"

namespace locket {

namespace {

constexpr uint32_t kPacketBytes = 1 << 20;
// The recorder's clock runs on Korean standard time.
constexpr int kRecorderUtcOffsetHours = 9;
// A rear camera whose first key picture is further than this behind the clip's start is left
// out rather than delaying the front track.
constexpr uint32_t kRearKeyWaitMs = 2000;

struct Camera {
    int fps = 0;
    int width = 0;
    int height = 0;
};

Camera CameraOf(const uint8_t* desc, int c) {
    return {desc[3 + c], GetLE16(desc + 52 + 2 * c), GetLE16(desc + 20 + 2 * c)};
}

// An entry of `folder` whose name equals `name` without regard to case; empty when none.
std::string FindEntry(const std::string& folder, const std::string& name) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return {};
    while (const dirent* e = ::readdir(dir.get())) {
        if (::strcasecmp(e->d_name, name.c_str()) == 0)
            return JoinPath(folder, e->d_name);
    }
    return {};
}

// Seconds since 1970 (UTC) of the start written in a recording's name, 0 when it has none.
int64_t NameTimeUtc(const std::string& base) {
    const size_t underscore = base.find('_');
    std::tm t{};
    if (underscore == std::string::npos ||
        std::sscanf(base.c_str() + underscore + 1, "%4d%2d%2d_%2d%2d%2d", &t.tm_year, &t.tm_mon,
                    &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return 0;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return static_cast<int64_t>(timegm(&t)) - kRecorderUtcOffsetHours * 3600;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// The time of group `g`'s first packet; the reader stands after it.
bool GroupTime(CTatReader& reader, int g, uint8_t* buffer, uint32_t* timeMs) {
    TatPacketInfo info;
    if (!reader.SeekGroup(g) || reader.ReadPacket(buffer, kPacketBytes, &info) != kTatPacket)
        return false;
    *timeMs = info.timeMs;
    return true;
}

// Leaves the reader at the first packet of the last group that starts at or before `fromMs`
// (the first group when none does); its start time in *startMs.
bool SeekGroupBefore(CTatReader& reader, uint32_t fromMs, uint8_t* buffer, uint32_t* startMs) {
    int lo = 0, hi = reader.GroupCount() - 1;
    if (hi < 0)
        return false;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        uint32_t t = 0;
        if (!GroupTime(reader, mid, buffer, &t))
            return false;
        if (t <= fromMs)
            lo = mid;
        else
            hi = mid - 1;
    }
    return GroupTime(reader, lo, buffer, startMs) && reader.SeekGroup(lo);
}

struct Packet {
    TatPacketInfo info;
    std::vector<uint8_t> data;
};

}  // namespace

bool CClipConverter::UseCard(const std::string& folder) {
    if (!IsCardFolder(folder))
        return false;
    m_card = folder;
    return true;
}

std::string CClipConverter::FindRecording(const std::string& name) const {
    std::string file = name;
    if (!file.empty() && file[0] == '/')
        file.erase(0, 1);
    if (m_card.empty() || file.empty() || file.find_first_of("/\\") != std::string::npos ||
        file == "." || file == "..")
        return {};
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos || ::strcasecmp(file.c_str() + dot, kTatExtension) != 0)
        file += kTatExtension;
    // The folder of the name's category first, then the four in order.
    std::vector<int> order;
    const int own = CategoryOfName(file);
    if (own >= 0)
        order.push_back(own);
    for (int c = 0; c < kTatCategoryCount; ++c) {
        if (c != own)
            order.push_back(c);
    }
    for (int c : order) {
        const std::string folder = FindEntry(m_card, kTatCategoryFolders[c]);
        const std::string path = folder.empty() ? std::string() : FindEntry(folder, file);
        if (!path.empty())
            return path;
    }
    return {};
}

std::string CClipConverter::BaseName(const std::string& name) {
    std::string base = name;
    std::replace(base.begin(), base.end(), '/', '_');
    std::replace(base.begin(), base.end(), '\\', '_');
    while (!base.empty() && base[0] == '_')
        base.erase(0, 1);
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    return base == "." || base == ".." ? std::string() : base;
}

CClipConverter::Result CClipConverter::Export(const std::string& name, const std::string& outFolder,
                                              const Options& options, const KeepGoing& keepGoing,
                                              const Progress& progress) {
    m_written.clear();
    m_notWritten.clear();
    m_startMs = m_endMs = 0;
    m_report = {};
    const std::string source = FindRecording(name);
    // The card's own spelling of the name.
    const std::string base = BaseName(source.substr(source.rfind('/') + 1));
    CTatReader reader;
    if (source.empty() || base.empty() || !reader.Open(source))
        return Result::kNotFound;
    const std::string stem = JoinPath(outFolder, base);
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kPacketBytes]);
    // The recording's checksum does not depend on the files written: it is taken meanwhile.
    char resolved[PATH_MAX];
    const std::string absolute = ::realpath(source.c_str(), resolved) ? resolved : source;
    std::string sourceHash;
    std::thread hasher;
    if (options.manifest)
        hasher = std::thread([&] { sourceHash = CSha256Manifest::HashFile(absolute); });
    struct Joiner {
        std::thread& t;
        ~Joiner() {
            if (t.joinable())
                t.join();
        }
    } joiner{hasher};

    // The sensor records are read before the pictures: a card pulled during the copy must
    // not cost the track of what was copied.
    CSensorLog log;
    if ((options.gpx || options.csv) && !ReadSensorLog(source, &log))
        return Result::kNotFound;

    const uint32_t toMs = std::max(options.toMs, options.fromMs);
    uint32_t startMs = options.fromMs;
    const bool grouped = SeekGroupBefore(reader, options.fromMs, buffer.get(), &startMs);
    // Damage passed over while looking for the start lies outside the clip.
    const uint32_t skippedBefore = reader.Skipped();
    if (options.mp4 && !grouped)
        return Result::kNotFound;  // no key picture to start from
    startMs = std::min(startMs, options.fromMs);
    m_startMs = startMs;
    m_endMs = std::min(toMs, reader.DurationMs());

    // Files made so far, as .part names; removed unless all is well at the end.
    struct Output {
        std::string path;
        bool whole = false;
    };
    std::vector<Output> outputs;
    Result result = Result::kWritten;
    // Files are made while nothing failed; packets lost on the way still leave a clip.
    const auto going = [&] { return result == Result::kWritten || result == Result::kIncomplete; };
    auto part = [&](const std::string& path) {
        outputs.push_back({path, false});
        return PartPath(path);
    };

    if (options.mp4) {
        const Camera front = CameraOf(reader.Description(), 0);
        const Camera rear = CameraOf(reader.Description(), 1);
        const int rate = static_cast<int>(GetLE32(reader.Description() + 8));
        // The pictures up to the rear camera's first key picture are held back: each track's
        // parameter sets must be known before the file's header is written.
        std::vector<Packet> held;
        const Packet* frontKey = nullptr;
        const Packet* rearKey = nullptr;
        bool ended = false;
        int status = kTatPacket;
        TatPacketInfo info;
        for (;;) {
            status = reader.ReadPacket(buffer.get(), kPacketBytes, &info);
            if (status != kTatPacket || info.timeMs >= toMs) {
                ended = true;
                break;
            }
            held.push_back({info, {buffer.get(), buffer.get() + info.size}});
            const bool rearKeyNow = info.stream == 1 && info.kind == kTatKindVideo &&
                                    CMP4Writer::IsKeyFrame(buffer.get(), info.size);
            if (rearKeyNow || front.fps == 0 || rear.fps == 0 ||
                info.timeMs > startMs + kRearKeyWaitMs)
                break;
        }
        std::vector<const Packet*> keys;
        for (const Packet& p : held) {
            const bool video = p.info.kind == kTatKindGroupStart || p.info.kind == kTatKindVideo;
            if (video && p.info.stream == 0 && !frontKey)
                frontKey = &p;
            if (video && p.info.stream == 1 && !rearKey &&
                CMP4Writer::IsKeyFrame(p.data.data(), p.data.size()))
                rearKey = &p;
        }
        if (!frontKey || front.fps == 0)
            return Result::kNotFound;

        CMP4Writer clip, rearClip;
        const int frontTrack = clip.AddVideoTrack(front.width, front.height, front.fps,
                                                  frontKey->data.data(), frontKey->data.size());
        CMP4Writer& rearOwner = options.split ? rearClip : clip;
        const int rearTrack =
            rearKey ? rearOwner.AddVideoTrack(rear.width, rear.height, rear.fps,
                                              rearKey->data.data(), rearKey->data.size())
                    : -1;
        const int audioTrack = rate > 0 ? clip.AddAudioTrack(rate) : -1;
        if (frontTrack < 0)
            return Result::kNotFound;
        CMP4Writer::Metadata meta;
        meta.title = base;
        meta.make = "Locket";
        meta.model = "KX2";
        const int64_t recorded = NameTimeUtc(base);
        meta.creationTimeUtc = recorded ? recorded + startMs / 1000 : 0;
        const std::string clipPath = stem + ".mp4";
        const std::string rearPath = stem + "_rear.mp4";
        if (!clip.Create(part(clipPath), meta) ||
            (options.split && rearTrack >= 0 && !rearClip.Create(part(rearPath), meta))) {
            result = Result::kNotCreated;
        }

        const int total = static_cast<int>(
            std::ceil((std::min(toMs, std::max(reader.DurationMs(), startMs)) - startMs) *
                      front.fps / 1000.0));
        int64_t frames = 0;
        int64_t rearFrames = 0;
        int64_t rearFirst = -1;
        auto write = [&](const TatPacketInfo& p, const uint8_t* data) {
            const bool video = p.kind == kTatKindGroupStart || p.kind == kTatKindVideo;
            if (video && p.stream == 0) {
                const bool ok = clip.WriteVideo(frontTrack, data, p.size, frames++,
                                                CMP4Writer::IsKeyFrame(data, p.size));
                if (progress)
                    progress(static_cast<int>(frames), std::max(total, static_cast<int>(frames)));
                return ok;
            }
            if (video && p.stream == 1 && rearTrack >= 0) {
                if (rearFirst < 0) {
                    if (!CMP4Writer::IsKeyFrame(data, p.size))
                        return true;
                    rearFirst = std::lround((p.timeMs - startMs) * rear.fps / 1000.0);
                }
                return rearOwner.WriteVideo(rearTrack, data, p.size, rearFirst + rearFrames++,
                                            CMP4Writer::IsKeyFrame(data, p.size));
            }
            if (p.kind == kTatKindAudio && audioTrack >= 0) {
                // Only the samples inside the clip: a packet lasts 200 ms and may begin before
                // the start or end after the end mark.
                const int64_t at = (int64_t{p.timeMs} - startMs) * rate / 1000;
                const int64_t end = (int64_t{toMs} - startMs) * rate / 1000;
                const int64_t first = std::max<int64_t>(0, -at);
                const int64_t last = std::min<int64_t>(p.size / 2, end - at);
                if (last <= first)
                    return true;
                return clip.WriteAudio(audioTrack, reinterpret_cast<const int16_t*>(data) + first,
                                       static_cast<size_t>(last - first), at + first);
            }
            return true;
        };
        for (const Packet& p : held) {
            if (result != Result::kWritten)
                break;
            if (!write(p.info, p.data.data()))
                result = Result::kWriteFailed;
        }
        while (result == Result::kWritten && !ended) {
            if (keepGoing && !keepGoing()) {
                result = Result::kStopped;
                break;
            }
            status = reader.ReadPacket(buffer.get(), kPacketBytes, &info);
            if (status != kTatPacket || info.timeMs >= toMs)
                break;
            if (!write(info, buffer.get()))
                result = Result::kWriteFailed;
        }
        m_endMs = startMs + static_cast<uint32_t>(frames * 1000 / front.fps);
        // The front pictures recorded from the clip's start to its end mark, by the
        // recording's own count.
        const uint64_t frontCount = reader.Counts().video0;
        const uint64_t first = (uint64_t{startMs} * front.fps + 500) / 1000;
        const uint64_t last = std::min(frontCount, (uint64_t{toMs} * front.fps + 999) / 1000);
        m_report.expected.front = static_cast<uint32_t>(last > first ? last - first : 0);
        m_report.copied.front = static_cast<uint32_t>(frames);
        // An end before the end mark with pictures missing is an early end, not the last one.
        const bool lost = status == kTatEndDamaged || reader.Skipped() > skippedBefore ||
                          (status == kTatEnd && m_report.copied.front < m_report.expected.front);
        if (result == Result::kWritten && lost)
            result = Result::kIncomplete;
        const bool clipOk = clip.IsOpen() && clip.Close();
        const bool rearOk = !rearClip.IsOpen() || rearClip.Close();
        if (going() && (!clipOk || !rearOk))
            result = Result::kWriteFailed;
        for (Output& o : outputs)
            o.whole = going();
    }

    if ((options.gpx || options.csv) && going()) {
        if (options.gpx && going()) {
            const std::string gpx = stem + ".gpx";
            const bool ok = WriteWhole(part(gpx), GpxDocument(log.Fixes(), startMs, toMs, base));
            outputs.back().whole = ok;
            if (!ok)
                result = Result::kWriteFailed;
        }
        if (options.csv && going()) {
            const std::string csv = stem + ".csv";
            const bool ok = WriteWhole(part(csv), SensorCsvDocument(log, startMs, toMs));
            outputs.back().whole = ok;
            if (!ok)
                result = Result::kWriteFailed;
        }
    }

    // The name each file takes once placed: a clip that lost packets is kept under
    // incomplete names, all of its files alike.
    const auto placed = [&](const std::string& path) {
        return result == Result::kIncomplete ? IncompletePath(path) : path;
    };
    if (going() && options.manifest) {
        // The manifest lists the recording by its full path and the files beside it by name.
        CSha256Manifest manifest;
        hasher.join();
        // A recording gone before its hash was taken leaves only the files to list.
        bool ok = (result == Result::kIncomplete && sourceHash.empty()) ||
                  manifest.AddHash(sourceHash, absolute);
        for (const Output& o : outputs) {
            const std::string file = placed(o.path);
            ok = ok && manifest.AddFile(PartPath(o.path), file.substr(file.rfind('/') + 1));
        }
        const std::string sums = stem + ".sha256";
        ok = ok && manifest.Write(part(sums));
        outputs.back().whole = ok;
        if (!ok)
            result = Result::kWriteFailed;
    }

    // A partial set never replaces files: where one of its names is taken, the earlier set
    // stays and this one goes, so a manifest never meets files it did not list.
    if (result == Result::kIncomplete) {
        for (const Output& o : outputs) {
            if (::access(placed(o.path).c_str(), F_OK) == 0) {
                std::printf("[Export] %s exists and is kept; the partial clip is removed\n",
                            placed(o.path).c_str());
                m_report.keptEarlier = true;
            }
        }
    }
    for (const Output& o : outputs) {
        ExportReport one;
        // A stopped clip leaves nothing: it is placed as a failed one.
        one.result = going() && o.whole && !m_report.keptEarlier ? result : Result::kNotCreated;
        PlaceOutput(o.path, &one);
        if (!one.file.empty())
            m_written.push_back(one.file);
        else if (result != Result::kStopped && !m_report.keptEarlier)
            m_notWritten.push_back(o.path);
    }
    if (going() && !m_notWritten.empty())
        result = Result::kWriteFailed;
    m_report.result = result;
    m_report.file = m_written.empty() ? std::string() : m_written.front();
    return result;
}

}  // namespace locket
