#include "viewer/recording_converter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/byte_order.h"
#include "platform/clock.h"

namespace locket {

namespace {

// One packet at a time; the recorder's packets are far smaller.
constexpr uint32_t kPacketBytes = 1048576;

int64_t FileSize(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
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

std::vector<std::string> CRecordingConverter::ListRecordings(int category, int64_t minBytes) {
    std::vector<std::string> names;
    if (!m_handle || !m_drive)
        return names;
    for (int32_t each = 0; each <= 3; ++each) {
        if (category >= 0 && category <= 3 && each != category)
            continue;
        const int32_t count = TatCountRecordings(m_handle, m_drive, each);
        if (count <= 0)
            continue;
        std::vector<char> list(static_cast<size_t>(count) * kTatNameBytes, 0);
        std::vector<uint8_t> sizes(static_cast<size_t>(count) * kTatSizeBytes, 0);
        const int32_t filled = std::min(
            count,
            TatListRecordings(m_handle, m_drive, each, count, list.data(), sizes.data(), nullptr));
        for (int32_t i = 0; i < filled; ++i) {
            if (static_cast<int32_t>(GetLE32(sizes.data() + i * kTatSizeBytes)) < minBytes)
                continue;
            const char* name = list.data() + static_cast<size_t>(i) * kTatNameBytes;
            names.emplace_back(name, strnlen(name, kTatNameBytes));
        }
    }
    return names;
}

CRecordingConverter::Result CRecordingConverter::Convert(const std::string& name,
                                                         const std::string& destination,
                                                         const KeepGoing& keepGoing,
                                                         const Progress& progress) {
    m_counts = {};
    if (destination.empty())
        return Result::kNotCreated;
    MediaInfo info{};
    m_parser.OpenMedia(name.c_str(), &info);
    if (!m_handle || !m_parser.IsStreaming()) {
        m_parser.CloseMedia();
        return Result::kNotFound;
    }
    m_writer.Close();
    const VideoSize front = m_parser.GetVideoSize(0);
    const VideoSize rear = m_parser.GetVideoSize(1);
    uint32_t bits = 0;
    uint32_t rate = 0;
    m_parser.GetAudioFormat(&bits, &rate);
    m_writer.SetVideoSize(0, front.width, front.height);
    m_writer.SetVideoSize(1, rear.width, rear.height);
    m_writer.SetFrameRate(0, info.fps0);
    m_writer.SetFrameRate(1, info.fps1);
    m_writer.SetSampleRate(static_cast<int32_t>(rate));
    m_writer.SetDualVideo(info.fps1 != 0);
    const std::string part = destination + ".part";
    if (!m_writer.Create(part.c_str())) {
        m_parser.CloseMedia();
        return Result::kNotCreated;
    }

    Result result = Result::kWritten;
    int frame = 0;
    for (;;) {
        if (keepGoing && !keepGoing()) {
            result = Result::kStopped;
            break;
        }
        // The parser reads the library directly here: no read-ahead thread and queue between
        // the card and the file, and each packet arrives with its own kind.
        uint32_t size = kPacketBytes;
        const int32_t kind = m_parser.ReadPacket(m_packet.get(), &size);
        if (kind == kPacketEnd)
            break;
        int stream = -1;
        uint32_t* counter = nullptr;
        switch (kind) {
            case kPacketFrontVideo:
                stream = 0;
                counter = &m_counts.front;
                break;
            case kPacketRearVideo:
                stream = 1;
                counter = &m_counts.rear;
                break;
            case kPacketAudio:
                stream = 2;
                counter = &m_counts.audio;
                break;
            case kPacketNone:
                SleepMs(1);
                continue;
            default:
                continue;  // sensor text is not part of the AVI
        }
        if (!m_writer.AddData(m_packet.get(), size, stream)) {
            result = Result::kWriteFailed;
            break;
        }
        ++*counter;
        if (stream == 0 && progress)
            progress(++frame, info.frameCount0);
    }
    const uint32_t riffSize = m_writer.Close();
    m_parser.CloseMedia();
    // A write lost on the way (the last buffer at close) shows as a file shorter than its form.
    if (result != Result::kWriteFailed && FileSize(part) != static_cast<int64_t>(riffSize) + 8)
        result = Result::kWriteFailed;
    if (result == Result::kWriteFailed) {
        std::remove(part.c_str());
        return result;
    }
    if (std::rename(part.c_str(), destination.c_str()) != 0) {
        std::printf("[Export] %s not renamed to %s\n", part.c_str(), destination.c_str());
        std::remove(part.c_str());
        return Result::kWriteFailed;
    }
    return result;
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

}  // namespace locket
