#include "viewer/recording_converter.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "files/recording_listing.h"
#include "files/recording_names.h"

namespace locket {

namespace {

// One packet at a time; the recorder's packets are far smaller.
constexpr uint32_t kPacketBytes = 1048576;

uint32_t Count(int32_t n) {
    return n > 0 ? static_cast<uint32_t>(n) : 0;
}

// Renames without replacing: false when `to` exists (or the rename fails otherwise).
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: look first. A file made in between is the only loss,
    // and only a second writer of the same folder could make it.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return errno == ENOENT && std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

CRecordingConverter::CRecordingConverter() : m_packet(std::make_unique<uint8_t[]>(kPacketBytes)) {}

CRecordingConverter::~CRecordingConverter() {
    m_writer.Close();
    m_parser.CloseMedia();
    m_parser.SetOwnLibraryHandle(nullptr);
    if (m_handle)
        TatDestroy(m_handle);
}

bool CRecordingConverter::UseCard(const std::string& folder) {
    if (!m_handle) {
        m_handle = TatCreate();
        // Only the folder given: the volume walk belongs to the window's poll.
        TatSetMountsFile(m_handle, "");
        m_parser.SetOwnLibraryHandle(m_handle);
    }
    m_drive = TatRegisterCardFolder(m_handle, folder.c_str());
    return m_drive != 0;
}

std::vector<std::string> CRecordingConverter::ListRecordings(int category) {
    return locket::ListRecordings(m_handle, m_drive, category);
}

CRecordingConverter::Report CRecordingConverter::Convert(const std::string& name,
                                                         const std::string& destination,
                                                         const KeepGoing& keepGoing,
                                                         const Progress& progress) {
    Report report;
    if (destination.empty()) {
        report.result = Result::kNotCreated;
        return report;
    }
    MediaInfo info{};
    m_parser.OpenMedia(name.c_str(), &info);
    if (!m_handle || !m_parser.IsStreaming()) {
        m_parser.CloseMedia();
        report.result = Result::kNotFound;
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
    const std::string part = destination + ".part";
    if (!m_writer.Create(part.c_str())) {
        m_parser.CloseMedia();
        report.result = Result::kNotCreated;
        return report;
    }

    Result result = Result::kWritten;
    Counts& copied = report.copied;
    int frame = 0;
    for (;;) {
        if (keepGoing && !keepGoing()) {
            result = Result::kStopped;
            break;
        }
        // The parser reads the library directly here, with no read-ahead thread and queue
        // between the card and the file. The read waits for its bytes: "nothing now" only
        // follows a packet passed over, which the parser counts.
        uint32_t size = kPacketBytes;
        const int32_t kind = m_parser.ReadPacket(m_packet.get(), &size);
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
        if (!m_writer.AddData(m_packet.get(), size, streamKind)) {
            result = Result::kWriteFailed;
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
        result = Result::kWriteFailed;
    if (result == Result::kWritten && lost)
        result = Result::kIncomplete;
    report.result = result;
    Place(part, destination, &report);
    return report;
}

void CRecordingConverter::Place(const std::string& part, const std::string& destination,
                                Report* report) {
    switch (report->result) {
        case Result::kWritten:
            if (std::rename(part.c_str(), destination.c_str()) == 0) {
                report->file = destination;
                return;
            }
            break;
        case Result::kIncomplete:
        case Result::kStopped: {
            const std::string target =
                report->result == Result::kIncomplete ? IncompletePath(destination) : destination;
            if (RenameNoReplace(part, target)) {
                report->file = target;
                return;
            }
            if (errno == EEXIST) {
                std::printf("[Export] %s exists and is kept; the partial copy is removed\n",
                            target.c_str());
                report->keptEarlier = true;
                std::remove(part.c_str());
                return;
            }
            break;
        }
        default:
            std::remove(part.c_str());
            return;
    }
    std::printf("[Export] %s not renamed: %s\n", part.c_str(), std::strerror(errno));
    std::remove(part.c_str());
    report->result = Result::kWriteFailed;
}

std::string CRecordingConverter::DestinationFor(const std::string& folder,
                                                const std::string& name) {
    std::string file = name;
    std::replace(file.begin(), file.end(), '/', '_');
    std::replace(file.begin(), file.end(), '\\', '_');
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0)
        file.erase(dot);
    if (file.empty() || file == "." || file == "..")
        return {};
    file += ".avi";
    if (folder.empty())
        return file;
    return folder.back() == '/' ? folder + file : folder + "/" + file;
}

std::string CRecordingConverter::IncompletePath(const std::string& destination) {
    const std::string suffix = ".avi";
    const std::string stem = destination.ends_with(suffix)
                                 ? destination.substr(0, destination.size() - suffix.size())
                                 : destination;
    return stem + ".incomplete" + suffix;
}

}  // namespace locket
