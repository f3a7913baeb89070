#include "tools/locket-record/video_import.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include "tools/locket-record/annexb.h"
#include "tools/locket-record/footage_reencoder.h"

namespace locket {

namespace {

// Offset of the start code that follows the first NAL unit, or the size when there is none.
size_t NextStartCode(const std::vector<uint8_t>& d, size_t from) {
    for (size_t i = from; i + 2 < d.size(); ++i)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1)
            return (i > 0 && d[i - 1] == 0) ? i - 1 : i;
    return d.size();
}

// Access-unit delimiters and SEI in front of a P slice would hide it from the player's
// key-frame test; neither is needed to decode the picture.
void StripLeadingAudSei(std::vector<uint8_t>* au) {
    for (;;) {
        const int type = FirstNalType(au->data(), au->size());
        if (type != 9 && type != 6)
            return;
        size_t first = 0;
        while (first < au->size() && (*au)[first] == 0)
            ++first;
        const size_t next = NextStartCode(*au, first + 1);
        if (next >= au->size())
            return;
        au->erase(au->begin(), au->begin() + static_cast<long>(next));
    }
}

bool IsAvcC(const AVCodecParameters* par) {
    return par->extradata_size > 0 && par->extradata[0] == 1;
}

}  // namespace

void CVideoImport::FormatDeleter::operator()(AVFormatContext* f) const {
    avformat_close_input(&f);
}
void CVideoImport::BsfDeleter::operator()(AVBSFContext* b) const {
    av_bsf_free(&b);
}
void CVideoImport::PacketDeleter::operator()(AVPacket* p) const {
    av_packet_free(&p);
}

CVideoImport::CVideoImport() = default;
CVideoImport::~CVideoImport() = default;

bool CVideoImport::OpenInput(const std::string& path, FormatPtr* format, std::string* error) {
    format->reset();
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        *error = "cannot open '" + path + "' as a video file";
        return false;
    }
    format->reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        *error = "cannot read the streams of '" + path + "'";
        return false;
    }
    m_stream = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (m_stream < 0) {
        *error = "'" + path + "' holds no video";
        return false;
    }
    return true;
}

std::string CVideoImport::LayoutMismatch() {
    if (m_format->streams[m_stream]->codecpar->video_delay > 0)
        return "it has B-frames";
    constexpr int kGroup = CH264Encoder::kGroupLength;
    std::string reason;
    int64_t index = 0;
    int64_t lastPts = AV_NOPTS_VALUE;
    while (reason.empty() && av_read_frame(m_format.get(), m_packet.get()) >= 0) {
        const AVPacket& p = *m_packet;
        if (p.stream_index == m_stream) {
            const bool key = (p.flags & AV_PKT_FLAG_KEY) != 0;
            if (p.pts != AV_NOPTS_VALUE && lastPts != AV_NOPTS_VALUE && p.pts < lastPts)
                reason = "its pictures come out of order (B-frames)";
            else if (key != (index % kGroup == 0))
                reason = "its key frames are not every " + std::to_string(kGroup) +
                         " pictures from the first (picture " + std::to_string(index) +
                         (key ? " is one)" : " is not one)");
            if (p.pts != AV_NOPTS_VALUE)
                lastPts = p.pts;
            ++index;
        }
        av_packet_unref(m_packet.get());
    }
    return reason;
}

bool CVideoImport::Open(const std::string& path, std::string* error) {
    if (!OpenInput(path, &m_format, error))
        return false;
    AVStream* st = m_format->streams[m_stream];
    if (st->codecpar->codec_id != AV_CODEC_ID_H264) {
        *error = "the video of '" + path + "' is not H.264";
        return false;
    }
    m_width = st->codecpar->width;
    m_height = st->codecpar->height;
    AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        const long fps = std::lround(av_q2d(rate));
        m_fps = fps < 1 ? 1 : (fps > 60 ? 60 : static_cast<int>(fps));
    }
    if (m_width <= 0 || m_height <= 0 || m_width > 0xFFFF || m_height > 0xFFFF) {
        *error = "the video of '" + path + "' has no usable picture size";
        return false;
    }
    m_packet.reset(av_packet_alloc());
    if (!m_packet)
        return false;
    // A first pass over the packets decides whether they can be kept; reading starts anew.
    m_reencodeReason = LayoutMismatch();
    if (!OpenInput(path, &m_format, error))
        return false;
    st = m_format->streams[m_stream];
    if (!m_reencodeReason.empty()) {
        m_width &= ~1;
        m_height &= ~1;
        m_reencoder = std::make_unique<CFootageReencoder>();
        return m_reencoder->Open(st->codecpar, m_width, m_height, m_fps, error);
    }
    if (IsAvcC(st->codecpar)) {
        const AVBitStreamFilter* filter = av_bsf_get_by_name("h264_mp4toannexb");
        AVBSFContext* bsf = nullptr;
        if (!filter || av_bsf_alloc(filter, &bsf) < 0) {
            *error = "the h264_mp4toannexb filter is not available";
            return false;
        }
        m_bsf.reset(bsf);
        if (avcodec_parameters_copy(m_bsf->par_in, st->codecpar) < 0)
            return false;
        m_bsf->time_base_in = st->time_base;
        if (av_bsf_init(m_bsf.get()) < 0) {
            *error = "cannot convert the video of '" + path + "' to Annex B";
            return false;
        }
    }
    return true;
}

int CVideoImport::DurationSeconds() const {
    if (!m_format || m_format->duration <= 0)
        return 0;
    return static_cast<int>(m_format->duration / AV_TIME_BASE);
}

bool CVideoImport::Next(std::vector<uint8_t>* au, bool* key, std::string* error) {
    error->clear();
    if (!m_format || !m_packet)
        return false;
    if (m_reencoder)
        return NextReencoded(au, key, error);
    for (;;) {
        if (m_bsf) {
            const int r = av_bsf_receive_packet(m_bsf.get(), m_packet.get());
            if (r == 0)
                return Deliver(au, key, error);
            if (r != AVERROR(EAGAIN))
                return false;  // AVERROR_EOF: drained
        }
        if (m_eof)
            return false;
        const int r = av_read_frame(m_format.get(), m_packet.get());
        if (r < 0) {
            m_eof = true;
            if (m_bsf) {
                av_bsf_send_packet(m_bsf.get(), nullptr);
                continue;
            }
            return false;
        }
        if (m_packet->stream_index != m_stream) {
            av_packet_unref(m_packet.get());
            continue;
        }
        if (!m_bsf)
            return Deliver(au, key, error);
        if (av_bsf_send_packet(m_bsf.get(), m_packet.get()) < 0) {
            av_packet_unref(m_packet.get());
            *error = "the H.264 stream cannot be converted to Annex B";
            return false;
        }
    }
}

bool CVideoImport::NextReencoded(std::vector<uint8_t>* au, bool* key, std::string* error) {
    while (m_reencoded.empty()) {
        if (m_eof)
            return false;
        std::vector<EncodedPacket> out;
        bool ok = true;
        if (av_read_frame(m_format.get(), m_packet.get()) < 0) {
            m_eof = true;
            ok = m_reencoder->Feed(nullptr, &out, error);
        } else if (m_packet->stream_index == m_stream) {
            ok = m_reencoder->Feed(m_packet.get(), &out, error);
        }
        av_packet_unref(m_packet.get());
        if (!ok)
            return false;
        for (EncodedPacket& e : out)
            m_reencoded.push_back(std::move(e));
    }
    *key = m_reencoded.front().key;
    *au = std::move(m_reencoded.front().data);
    m_reencoded.pop_front();
    if (!*key && au->size() > 4 && (*au)[4] != 0x41)
        ++m_oddNonKey;
    return true;
}

bool CVideoImport::Deliver(std::vector<uint8_t>* au, bool* key, std::string* error) {
    *key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
    au->assign(m_packet->data, m_packet->data + m_packet->size);
    av_packet_unref(m_packet.get());
    if (!*key)
        StripLeadingAudSei(au);
    if (!EnsureLongStartCode(au)) {
        *error = "a video packet does not start with an H.264 start code";
        return false;
    }
    if (!*key && au->size() > 4 && (*au)[4] != 0x41)
        ++m_oddNonKey;
    return true;
}

}  // namespace locket
