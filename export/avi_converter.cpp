#include "export/avi_converter.h"

#include "export/output_file.h"
#include "files/recording_listing.h"
#include "files/recording_names.h"

namespace locket {

namespace {

// Room for one packet; the recorder's packets are far smaller.
constexpr uint32_t kPacketBytes = CAVIWriter::kMaxReserveBytes;

uint32_t Count(int32_t n) {
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}

}  // namespace

CAviConverter::CAviConverter() = default;

CAviConverter::~CAviConverter() {
    m_writer.Close();
    m_parser.CloseMedia();
    m_parser.SetOwnLibraryHandle(nullptr);
    if (m_handle)
        TatDestroy(m_handle);
}

bool CAviConverter::UseCard(const std::string& folder) {
    if (!m_handle) {
        m_handle = TatCreate();
        // Only the folder given: the volume walk belongs to the window's poll.
        TatSetMountsFile(m_handle, "");
        m_parser.SetOwnLibraryHandle(m_handle);
    }
    m_drive = TatRegisterCardFolder(m_handle, folder.c_str());
    return m_drive != 0;
}

std::vector<std::string> CAviConverter::ListRecordings(int category) {
    return locket::ListRecordings(m_handle, m_drive, category);
}

ExportReport CAviConverter::Convert(const std::string& name, const std::string& destination,
                                    const ExportKeepGoing& keepGoing,
                                    const ExportProgress& progress) {
    ExportReport report;
    if (destination.empty()) {
        report.result = ExportResult::kNotCreated;
        return report;
    }
    MediaInfo info{};
    m_parser.OpenMedia(name.c_str(), &info);
    if (!m_handle || !m_parser.IsStreaming()) {
        m_parser.CloseMedia();
        report.result = ExportResult::kNotFound;
        return report;
    }
    // The name says whether there is a rear camera, for the file's layout as for the list and
    // the player; rear packets of a recording named front-only have no stream to go to.
    const bool rear = RecordingHasRear(name);
    const TatStreamInfo& stream = m_parser.GetStreamInfo();
    report.expected = {Count(stream.frameCount[0]), rear ? Count(stream.frameCount[1]) : 0,
                       Count(stream.audioCount)};
    m_writer.Close();
    const VideoSize front = m_parser.GetVideoSize(0);
    const VideoSize back = m_parser.GetVideoSize(1);
    uint32_t bits = 0;
    uint32_t rate = 0;
    m_parser.GetAudioFormat(&bits, &rate);
    m_writer.SetVideoSize(0, front.width, front.height);
    m_writer.SetVideoSize(1, back.width, back.height);
    m_writer.SetFrameRate(0, info.fps0);
    m_writer.SetFrameRate(1, info.fps1);
    m_writer.SetSampleRate(static_cast<int32_t>(rate));
    m_writer.SetDualVideo(rear);
    const std::string part = PartPath(destination);
    if (!m_writer.Create(part.c_str())) {
        m_parser.CloseMedia();
        report.result = ExportResult::kNotCreated;
        return report;
    }

    ExportResult result = ExportResult::kWritten;
    ExportCounts& copied = report.copied;
    int frame = 0;
    for (;;) {
        if (keepGoing && !keepGoing()) {
            result = ExportResult::kStopped;
            break;
        }
        // The parser reads the library directly into the writer's buffer: no read-ahead
        // thread, queue or copy between the card and the file. The read waits for its bytes;
        // "nothing now" only follows a packet passed over, which the parser counts.
        uint8_t* room = m_writer.ReserveChunk(kPacketBytes);
        if (!room) {
            result = ExportResult::kWriteFailed;
            break;
        }
        uint32_t size = kPacketBytes;
        const int32_t kind = m_parser.ReadPacket(room, &size);
        if (kind == kPacketEnd)
            break;
        int streamKind = -1;
        uint32_t* counter = nullptr;
        switch (kind) {
            case kPacketFrontVideo:
                streamKind = 0;
                counter = &copied.front;
                break;
            case kPacketRearVideo:
                if (!rear)
                    continue;
                streamKind = 1;
                counter = &copied.rear;
                break;
            case kPacketAudio:
                streamKind = 2;
                counter = &copied.audio;
                break;
            default:
                continue;  // sensor text is not part of the AVI
        }
        if (!m_writer.CommitChunk(size, streamKind)) {
            // At the AVI form's 4 GiB the file is whole but cannot hold the rest: incomplete.
            if (!m_writer.Full())
                result = ExportResult::kWriteFailed;
            break;
        }
        ++*counter;
        if (streamKind == 0 && progress)
            progress(++frame, info.frameCount0);
    }
    const bool lost =
        m_parser.EndedDamaged() || m_parser.SkippedPackets() > 0 || !copied.Covers(report.expected);
    m_writer.Close();
    m_parser.CloseMedia();
    if (!m_writer.LastCloseOk())
        result = ExportResult::kWriteFailed;
    if (result == ExportResult::kWritten && lost)
        result = ExportResult::kIncomplete;
    report.result = result;
    PlaceOutput(destination, &report);
    return report;
}

std::string CAviConverter::DestinationFor(const std::string& folder, const std::string& name) {
    return ExportPath(folder, name, ".avi");
}

}  // namespace locket
