// The TAT parser over whatever a card may hold: recording names, counts texts, and recording
// files of any content read through the library with direct reads and seeks.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/tat_parser.h"
#include "tat/card_layout.h"
#include "tat/tat_library.h"
#include "tat/tat_writer.h"

using namespace locket;

namespace {

struct FuzzCard {
    std::string root;
    std::string recording;
    TatHandle handle = nullptr;

    FuzzCard() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "locket_parser_fuzz_XXXXXX").string();
        if (!::mkdtemp(pattern.data()) || !CreateCardLayout(pattern))
            std::abort();
        root = pattern;
        recording = "REC_20240301_083000_D.tat";
        handle = TatCreate();
        if (!TatRegisterCardFolder(handle, root.c_str()))
            std::abort();
        CTATParser::SetLibraryHandle(handle);
    }
    ~FuzzCard() {
        TatDestroy(handle);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
};

void CheckNameAndCounts(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const CTATParser::RecordingName name = CTATParser::SplitRecordingName(text.c_str());
    if (name.name.size() > text.size() || name.name.find_first_of(", ") != std::string::npos)
        std::abort();
    TatStreamInfo info;
    if (CTATParser::ScanCountsText(text.c_str(), &info) > 5)
        std::abort();
}

void WriteRawFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
}

// A well-framed recording whose description and packet sequence come from the input: frame
// rates, stray kinds and streams, missing group starts, sizes up to the largest allowed.
void WriteFramedRecording(const std::string& path, const uint8_t* data, size_t size) {
    TatRecordingDesc desc;
    desc.fps0 = size > 0 ? data[0] % 61 : 30;
    desc.fps1 = size > 1 ? data[1] % 61 : 0;
    desc.width0 = 64;
    desc.height0 = 48;
    CTatWriter writer;
    if (!writer.Create(path, desc))
        std::abort();
    size_t at = 2;
    uint32_t timeMs = 0;
    std::vector<uint8_t> payload;
    while (at + 3 <= size) {
        const uint8_t stream = data[at] & 1;
        const uint8_t kind = (data[at] >> 1) & 3;
        const uint32_t length =
            (data[at + 1] == 0xFF && data[at + 2] == 0xFF) ? (1u << 20) : data[at + 1] * 3u;
        const uint8_t fill = data[at + 2];
        at += 3;
        payload.assign(length, fill);
        if (!payload.empty() && kind == kTatKindText)
            payload[0] = "GMB"[fill % 3];
        writer.WritePacket(stream, kind, timeMs += fill % 50, payload.data(), length);
    }
    if (size > 2 && data[2] & 1)
        writer.CutAsPowerLoss(data[2] >> 1);
    else
        writer.Finish();
}

void ReadRecording(FuzzCard& card, bool framed, const uint8_t* data, size_t size) {
    const std::string path = card.root + "/REC/" + card.recording;
    if (framed)
        WriteFramedRecording(path, data, size);
    else
        WriteRawFile(path, data, size);

    CTATParser parser;
    MediaInfo info;
    parser.OpenMedia(card.recording.c_str(), &info);
    // Capacities from tiny to whole, so the library's size checks are met on every side.
    const uint32_t capacity = size ? 1u + data[size / 2] * 97u : 64u;
    std::vector<uint8_t> buffer(capacity);
    bool ended = false;
    int idle = 0;
    for (int i = 0; i < 4000 && !ended && idle < 50; ++i) {
        uint32_t got = capacity;
        const int32_t kind = parser.ReadPacket(buffer.data(), &got);
        if (kind < kPacketFrontVideo || kind > kPacketEnd || got > capacity)
            std::abort();
        ended = kind == kPacketEnd;
        idle = kind == kPacketNone ? idle + 1 : 0;
        if (i == 50) {
            const float seconds = size > 8 ? static_cast<float>(data[7]) / 3.0f : 1.0f;
            if (parser.SeekTime(seconds) < 0)
                std::abort();
            // A seek resumes reading even after the end, so the end must come again.
            ended = false;
        }
    }
    if (ended) {
        uint32_t got = capacity;
        if (parser.ReadPacket(buffer.data(), &got) != kPacketEnd || got != 0)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzCard card;
    if (size == 0)
        return 0;
    switch (data[0] % 3) {
        case 0:
            CheckNameAndCounts(data + 1, size - 1);
            break;
        case 1:
            ReadRecording(card, false, data + 1, size - 1);
            break;
        default:
            ReadRecording(card, true, data + 1, size - 1);
            break;
    }
    return 0;
}
