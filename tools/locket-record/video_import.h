// Reads the H.264 video of an existing file (raw Annex B or MP4) as the recorder would have
// stored it: one access unit per packet, Annex B with a 4-byte start code, a key frame every 24
// pictures from the first and no B-frames. Footage laid out so keeps its packets (key frames from
// the container's flags); any other is decoded and encoded anew in that layout, since the
// viewer's seek counts groups of 24 pictures.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tools/locket-record/h264_encoder.h"

struct AVFormatContext;
struct AVBSFContext;
struct AVPacket;

namespace locket {

class CFootageReencoder;

class CVideoImport {
public:
    CVideoImport();
    ~CVideoImport();
    CVideoImport(const CVideoImport&) = delete;
    CVideoImport& operator=(const CVideoImport&) = delete;

    // False with a message in *error when the file has no usable H.264 video.
    bool Open(const std::string& path, std::string* error);

    // The next access unit; false at the end or on failure (then *error is set).
    bool Next(std::vector<uint8_t>* au, bool* key, std::string* error);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Fps() const { return m_fps; }
    // Whole seconds as the container states them; 0 when it does not know.
    int DurationSeconds() const;
    // Non-key access units whose first NAL unit is not a plain P slice (0x41): the viewer's
    // key-frame test would take them for key frames.
    int OddNonKeyUnits() const { return m_oddNonKey; }
    // Why the footage is encoded anew (B-frames, key frames off the groups of 24); empty when
    // its packets are kept.
    const std::string& ReencodeReason() const { return m_reencodeReason; }

private:
    struct FormatDeleter {
        void operator()(AVFormatContext* f) const;
    };
    struct BsfDeleter {
        void operator()(AVBSFContext* b) const;
    };
    struct PacketDeleter {
        void operator()(AVPacket* p) const;
    };

    using FormatPtr = std::unique_ptr<AVFormatContext, FormatDeleter>;

    bool OpenInput(const std::string& path, FormatPtr* format, std::string* error);
    std::string LayoutMismatch();
    bool Deliver(std::vector<uint8_t>* au, bool* key, std::string* error);
    bool NextReencoded(std::vector<uint8_t>* au, bool* key, std::string* error);

    FormatPtr m_format;
    std::unique_ptr<AVBSFContext, BsfDeleter> m_bsf;
    std::unique_ptr<AVPacket, PacketDeleter> m_packet;
    std::unique_ptr<CFootageReencoder> m_reencoder;
    std::deque<EncodedPacket> m_reencoded;
    std::string m_reencodeReason;
    int m_stream = -1;
    int m_width = 0;
    int m_height = 0;
    int m_fps = 30;
    int m_oddNonKey = 0;
    bool m_eof = false;
};

}  // namespace locket
