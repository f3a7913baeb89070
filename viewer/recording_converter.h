// Copies recordings of the card into AVI files packet by packet, without decoding: the one
// conversion behind the window's export and the command line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/avi_writer.h"
#include "files/tat_parser.h"
#include "tat/tat_library.h"

namespace locket {

class CRecordingConverter {
public:
    enum class Result {
        kWritten,      // the whole recording is in the AVI file
        kStopped,      // stopped on request; the AVI holds what was copied
        kNotFound,     // the recording could not be opened
        kNotCreated,   // the AVI file could not be made
        kWriteFailed,  // a write failed; the AVI holds the chunks written whole
    };

    // Packets copied per stream kind (front, rear, audio) by the last Convert.
    struct Counts {
        uint32_t front = 0;
        uint32_t rear = 0;
        uint32_t audio = 0;
    };

    // Asked before every packet: false stops the copy.
    using KeepGoing = std::function<bool()>;
    // After every front-video packet: frames copied so far and the front frame total (0 when
    // the recording does not tell).
    using Progress = std::function<void(int frame, int total)>;

    CRecordingConverter();
    ~CRecordingConverter();
    CRecordingConverter(const CRecordingConverter&) = delete;
    CRecordingConverter& operator=(const CRecordingConverter&) = delete;

    // Reads the card in `folder` through a library handle of its own, so that playback on
    // another handle never moves this reading position. False when it is not a card.
    bool UseCard(const std::string& folder);

    // Names of the card's recordings in library category 0..3 (or all four for any other
    // value) of at least `minBytes`, in the library's order.
    std::vector<std::string> ListRecordings(int category, int64_t minBytes);

    // Converts recording `name` into `destination`. The file is written as destination +
    // ".part" and renamed once closed, so a finished name always means a finished file.
    Result Convert(const std::string& name, const std::string& destination,
                   const KeepGoing& keepGoing, const Progress& progress);
    const Counts& LastCounts() const { return m_counts; }

    // The AVI path of recording `name` in `folder`: its extension replaced by ".avi", path
    // separators turned into '_' so nothing lands outside the folder; "" for a name that
    // leaves no file name ("", ".", "..").
    static std::string DestinationFor(const std::string& folder, const std::string& name);
    static bool Failed(Result result) {
        return result != Result::kWritten && result != Result::kStopped;
    }

private:
    TatHandle m_handle = nullptr;
    char m_drive = 0;
    CTATParser m_parser;
    CAVIWriter m_writer;
    std::unique_ptr<uint8_t[]> m_packet;
    Counts m_counts;
};

}  // namespace locket
