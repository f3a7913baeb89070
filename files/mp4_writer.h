// Writes an MP4 file: H.264 tracks copied from Annex B pictures without re-encoding, and 16-bit
// PCM sound encoded to AAC by libavcodec's own encoder. The index goes to the front of the file
// (faststart), so phones and browsers play it while it loads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace locket {

class CMP4Writer {
public:
    struct Metadata {
        std::string title;
        std::string make;
        std::string model;
        int64_t creationTimeUtc = 0;  // seconds since 1970; 0 leaves it out
    };

    CMP4Writer();
    ~CMP4Writer();
    CMP4Writer(const CMP4Writer&) = delete;
    CMP4Writer& operator=(const CMP4Writer&) = delete;

    // Tracks are added before Create, in the order they appear in the file. A video track
    // takes its parameter sets from `keyFrame` (an Annex B key picture that carries them);
    // returns the track number, -1 when the picture has none.
    int AddVideoTrack(int width, int height, int fps, const uint8_t* keyFrame, size_t size);
    // Mono 16-bit PCM at `sampleRate` in; resampled when the encoder does not take that rate.
    // -1 when the encoder cannot be opened.
    int AddAudioTrack(int sampleRate);

    bool Create(const std::string& path, const Metadata& metadata);
    // One picture (Annex B) at picture number `frame` of its track, counted from 0.
    bool WriteVideo(int track, const uint8_t* data, size_t size, int64_t frame, bool key);
    // `count` samples starting at sample `position` of the track (counted from 0 at the start
    // of the file); a gap before them is filled with silence, an overlap is dropped.
    bool WriteAudio(int track, const int16_t* samples, size_t count, int64_t position);
    // Drains the encoder and writes the index. False when anything failed since Create.
    bool Close();
    bool IsOpen() const;

    // Whether an Annex B picture holds an IDR slice.
    static bool IsKeyFrame(const uint8_t* data, size_t size);

private:
    struct State;
    std::unique_ptr<State> m;
};

// The NAL units of an Annex B buffer, start codes removed, in order.
std::vector<std::pair<const uint8_t*, size_t>> AnnexBUnits(const uint8_t* data, size_t size);

}  // namespace locket
