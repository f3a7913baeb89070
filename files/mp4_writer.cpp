#include "files/mp4_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace locket {

namespace {

template <class T, void (*Free)(T**)>
struct Freer {
    void operator()(T* p) const { Free(&p); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, Freer<AVCodecContext, avcodec_free_context>>;
using FramePtr = std::unique_ptr<AVFrame, Freer<AVFrame, av_frame_free>>;
using PacketPtr = std::unique_ptr<AVPacket, Freer<AVPacket, av_packet_free>>;
using SwrPtr = std::unique_ptr<SwrContext, Freer<SwrContext, swr_free>>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFree>;

void Trace(const char* what, int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    std::printf("[MP4] %s: %s\n", what, text);
}

constexpr uint8_t kNalIdr = 5;
constexpr uint8_t kNalSps = 7;
constexpr uint8_t kNalPps = 8;

}  // namespace

std::vector<std::pair<const uint8_t*, size_t>> AnnexBUnits(const uint8_t* data, size_t size) {
    std::vector<std::pair<const uint8_t*, size_t>> units;
    // Start of the payload after each start code (00 00 01, with any zeros before it).
    size_t i = 0;
    size_t start = SIZE_MAX;
    while (i + 2 < size) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (start != SIZE_MAX) {
                size_t end = i;
                while (end > start && data[end - 1] == 0)
                    --end;
                units.emplace_back(data + start, end - start);
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start != SIZE_MAX && start < size)
        units.emplace_back(data + start, size - start);
    return units;
}

bool CMP4Writer::IsKeyFrame(const uint8_t* data, size_t size) {
    // Parameter sets and delimiters come first; the first slice decides, so the rest of a large
    // picture is never scanned.
    const uint8_t* end = data + size;
    for (const uint8_t* p = data; end - p >= 4;) {
        p = static_cast<const uint8_t*>(std::memchr(p, 1, static_cast<size_t>(end - p - 1)));
        if (!p)
            return false;
        if (p - data >= 2 && p[-1] == 0 && p[-2] == 0) {
            const uint8_t type = p[1] & 0x1F;
            if (type >= 1 && type <= kNalIdr)
                return type == kNalIdr;
        }
        ++p;
    }
    return false;
}

struct CMP4Writer::State {
    struct Track {
        bool audio = false;
        int width = 0, height = 0, fps = 0;
        std::vector<uint8_t> parameterSets;
        int inRate = 0;
        CodecPtr encoder;
        SwrPtr swr;
        FifoPtr fifo;
        int64_t nextInput = 0;    // input samples taken so far (position of the next one)
        int64_t nextEncoded = 0;  // encoder samples sent so far
        AVStream* stream = nullptr;
    };

    std::vector<Track> tracks;
    AVFormatContext* format = nullptr;
    PacketPtr packet{av_packet_alloc()};
    FramePtr frame{av_frame_alloc()};
    bool failed = false;

    bool Mux(Track& t, AVPacket* p, AVRational from) {
        p->stream_index = t.stream->index;
        av_packet_rescale_ts(p, from, t.stream->time_base);
        // Packets arrive in time order, so the muxer need not queue (and copy) them to
        // interleave.
        const int r = av_write_frame(format, p);
        if (r < 0) {
            Trace("write", r);
            failed = true;
            return false;
        }
        return true;
    }

    bool Drain(Track& t) {
        for (;;) {
            const int r = avcodec_receive_packet(t.encoder.get(), packet.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0) {
                Trace("encode", r);
                failed = true;
                return false;
            }
            if (!Mux(t, packet.get(), t.encoder->time_base))
                return false;
        }
    }

    // Sends whole encoder frames from the fifo; with `flush` the rest too, then the end.
    bool Encode(Track& t, bool flush) {
        const int frameSize = t.encoder->frame_size > 0 ? t.encoder->frame_size : 1024;
        while (av_audio_fifo_size(t.fifo.get()) >= frameSize ||
               (flush && av_audio_fifo_size(t.fifo.get()) > 0)) {
            const int n = std::min(frameSize, av_audio_fifo_size(t.fifo.get()));
            av_frame_unref(frame.get());
            frame->nb_samples = n;
            frame->format = t.encoder->sample_fmt;
            frame->sample_rate = t.encoder->sample_rate;
            av_channel_layout_copy(&frame->ch_layout, &t.encoder->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0) {
                failed = true;
                return false;
            }
            av_audio_fifo_read(t.fifo.get(), reinterpret_cast<void**>(frame->data), n);
            frame->pts = t.nextEncoded;
            t.nextEncoded += n;
            const int r = avcodec_send_frame(t.encoder.get(), frame.get());
            if (r < 0) {
                Trace("encode", r);
                failed = true;
                return false;
            }
            if (!Drain(t))
                return false;
        }
        if (flush) {
            avcodec_send_frame(t.encoder.get(), nullptr);
            return Drain(t);
        }
        return true;
    }

    // Converts input samples into the fifo.
    bool Convert(Track& t, const int16_t* samples, int count) {
        const int capacity = swr_get_out_samples(t.swr.get(), count);
        if (capacity <= 0)
            return true;
        uint8_t** planes = nullptr;
        int lineSize = 0;
        if (av_samples_alloc_array_and_samples(&planes, &lineSize, 1, capacity,
                                               t.encoder->sample_fmt, 0) < 0) {
            failed = true;
            return false;
        }
        const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(samples)};
        const int out = swr_convert(t.swr.get(), planes, capacity, samples ? in : nullptr, count);
        bool ok = out >= 0;
        if (ok && out > 0)
            ok = av_audio_fifo_write(t.fifo.get(), reinterpret_cast<void**>(planes), out) == out;
        av_freep(&planes[0]);
        av_freep(&planes);
        if (!ok)
            failed = true;
        return ok;
    }
};

CMP4Writer::CMP4Writer() : m(std::make_unique<State>()) {}

CMP4Writer::~CMP4Writer() {
    if (IsOpen())
        Close();
}

bool CMP4Writer::IsOpen() const {
    return m->format != nullptr;
}

int CMP4Writer::AddVideoTrack(int width, int height, int fps, const uint8_t* keyFrame,
                              size_t size) {
    if (IsOpen() || fps <= 0)
        return -1;
    State::Track t;
    t.width = width;
    t.height = height;
    t.fps = fps;
    static const uint8_t kStart[] = {0, 0, 0, 1};
    for (const auto& [unit, length] : AnnexBUnits(keyFrame, size)) {
        const uint8_t type = length ? unit[0] & 0x1F : 0;
        if (type == kNalSps || type == kNalPps) {
            t.parameterSets.insert(t.parameterSets.end(), kStart, kStart + 4);
            t.parameterSets.insert(t.parameterSets.end(), unit, unit + length);
        }
    }
    if (t.parameterSets.empty())
        return -1;
    m->tracks.push_back(std::move(t));
    return static_cast<int>(m->tracks.size()) - 1;
}

int CMP4Writer::AddAudioTrack(int sampleRate) {
    if (IsOpen() || sampleRate <= 0)
        return -1;
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec)
        return -1;
    State::Track t;
    t.audio = true;
    t.inRate = sampleRate;
    t.encoder.reset(avcodec_alloc_context3(codec));
    // The encoder's own rate when it lists ours, else the lowest it takes above ours.
    int rate = 0;
    for (const int* r = codec->supported_samplerates; r && *r; ++r) {
        if (*r == sampleRate) {
            rate = *r;
            break;
        }
        if (*r > sampleRate && (rate == 0 || *r < rate))
            rate = *r;
    }
    t.encoder->sample_rate = rate ? rate : sampleRate;
    t.encoder->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&t.encoder->ch_layout, 1);
    t.encoder->time_base = {1, t.encoder->sample_rate};
    t.encoder->bit_rate = 32000;
    t.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(t.encoder.get(), codec, nullptr);
    if (r < 0) {
        Trace("aac encoder", r);
        return -1;
    }
    AVChannelLayout mono;
    av_channel_layout_default(&mono, 1);
    SwrContext* swr = nullptr;
    r = swr_alloc_set_opts2(&swr, &t.encoder->ch_layout, t.encoder->sample_fmt,
                            t.encoder->sample_rate, &mono, AV_SAMPLE_FMT_S16, sampleRate, 0,
                            nullptr);
    t.swr.reset(swr);
    if (r < 0 || swr_init(swr) < 0) {
        std::printf("[MP4] resampler not made\n");
        return -1;
    }
    t.fifo.reset(av_audio_fifo_alloc(t.encoder->sample_fmt, 1, 4096));
    if (!t.fifo)
        return -1;
    m->tracks.push_back(std::move(t));
    return static_cast<int>(m->tracks.size()) - 1;
}

bool CMP4Writer::Create(const std::string& path, const Metadata& metadata) {
    if (IsOpen() || m->tracks.empty())
        return false;
    m->failed = false;
    int r = avformat_alloc_output_context2(&m->format, nullptr, "mp4", path.c_str());
    if (r < 0 || !m->format) {
        Trace("mp4 muxer", r);
        m->format = nullptr;
        return false;
    }
    for (State::Track& t : m->tracks) {
        t.stream = avformat_new_stream(m->format, nullptr);
        if (!t.stream) {
            Close();
            return false;
        }
        AVCodecParameters* par = t.stream->codecpar;
        if (t.audio) {
            avcodec_parameters_from_context(par, t.encoder.get());
            t.stream->time_base = t.encoder->time_base;
            t.nextInput = t.nextEncoded = 0;
            continue;
        }
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_H264;
        par->width = t.width;
        par->height = t.height;
        par->extradata = static_cast<uint8_t*>(
            av_mallocz(t.parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::copy(t.parameterSets.begin(), t.parameterSets.end(), par->extradata);
        par->extradata_size = static_cast<int>(t.parameterSets.size());
        t.stream->time_base = {1, t.fps};
        t.stream->avg_frame_rate = {t.fps, 1};
    }
    if (!metadata.title.empty())
        av_dict_set(&m->format->metadata, "title", metadata.title.c_str(), 0);
    if (!metadata.make.empty())
        av_dict_set(&m->format->metadata, "com.apple.quicktime.make", metadata.make.c_str(), 0);
    if (!metadata.model.empty())
        av_dict_set(&m->format->metadata, "com.apple.quicktime.model", metadata.model.c_str(), 0);
    if (metadata.creationTimeUtc > 0) {
        const time_t t = static_cast<time_t>(metadata.creationTimeUtc);
        std::tm utc{};
        gmtime_r(&t, &utc);
        char text[40];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
        av_dict_set(&m->format->metadata, "creation_time", text, 0);
    }
    r = avio_open(&m->format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (r < 0) {
        Trace("open", r);
        avformat_free_context(m->format);
        m->format = nullptr;
        return false;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart+use_metadata_tags", 0);
    r = avformat_write_header(m->format, &options);
    av_dict_free(&options);
    if (r < 0) {
        Trace("header", r);
        avio_closep(&m->format->pb);
        avformat_free_context(m->format);
        m->format = nullptr;
        return false;
    }
    return true;
}

bool CMP4Writer::WriteVideo(int track, const uint8_t* data, size_t size, int64_t frame, bool key) {
    if (!IsOpen() || m->failed || track < 0 || track >= static_cast<int>(m->tracks.size()) ||
        m->tracks[track].audio || size == 0)
        return false;
    State::Track& t = m->tracks[track];
    AVPacket* p = m->packet.get();
    av_packet_unref(p);
    // Written before the call returns: the bytes need not be copied.
    p->data = const_cast<uint8_t*>(data);
    p->size = static_cast<int>(size);
    p->pts = p->dts = frame;
    p->duration = 1;
    p->flags = key ? AV_PKT_FLAG_KEY : 0;
    const bool ok = m->Mux(t, p, {1, t.fps});
    p->data = nullptr;
    p->size = 0;
    return ok;
}

bool CMP4Writer::WriteAudio(int track, const int16_t* samples, size_t count, int64_t position) {
    if (!IsOpen() || m->failed || track < 0 || track >= static_cast<int>(m->tracks.size()) ||
        !m->tracks[track].audio)
        return false;
    State::Track& t = m->tracks[track];
    if (position < t.nextInput) {
        const int64_t overlap = std::min<int64_t>(t.nextInput - position, count);
        samples += overlap;
        count -= static_cast<size_t>(overlap);
        position += overlap;
    }
    static const int16_t kSilence[1024] = {};
    while (position > t.nextInput) {
        const int n = static_cast<int>(std::min<int64_t>(position - t.nextInput, 1024));
        if (!m->Convert(t, kSilence, n))
            return false;
        t.nextInput += n;
    }
    if (count > 0 && !m->Convert(t, samples, static_cast<int>(count)))
        return false;
    t.nextInput += static_cast<int64_t>(count);
    return m->Encode(t, false);
}

bool CMP4Writer::Close() {
    if (!IsOpen())
        return false;
    for (State::Track& t : m->tracks) {
        if (t.audio && t.stream && !m->failed) {
            m->Convert(t, nullptr, 0);  // what the resampler still holds
            m->Encode(t, true);
        }
    }
    bool ok = !m->failed;
    if (m->format->pb) {
        // Without a header written the trailer must not be; failed headers never get here.
        const int r = av_write_trailer(m->format);
        if (r < 0) {
            Trace("trailer", r);
            ok = false;
        }
        if (avio_closep(&m->format->pb) < 0)
            ok = false;
    }
    avformat_free_context(m->format);
    m->format = nullptr;
    m->tracks.clear();
    return ok;
}

}  // namespace locket
