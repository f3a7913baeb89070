// Copies recordings of the card into AVI files packet by packet, without decoding: the one
// conversion behind the window's export and the command line.
//
// What a conversion leaves in the folder, by its result:
// - kWritten: every packet of the recording was copied; the file is NAME.avi and replaces a file
//   of that name.
// - kIncomplete: packets were lost on the way (a damaged stretch passed over, the recording
//   ended early or went away with the card). What was copied is closed, playable and kept as
//   NAME.incomplete.avi, since it may be all that is left of the recording; the report gives
//   the packets copied and expected.
// - kStopped: the copy was stopped on request. The partial file is closed, playable and named
//   NAME.avi when no file of that name exists.
// Neither partial result ever replaces a file: where its name is taken, the earlier file stays,
// the partial copy is removed and the report says so (keptEarlier).
// - kNotFound, kNotCreated, kWriteFailed: no file is left (a failed write includes a failed
//   index or header rewrite or close).
// Every file is written as its final name + ".part" and renamed once closed, so a name without
// ".part" is always a closed file.
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
        kWritten,
        kIncomplete,
        kStopped,
        kNotFound,     // the recording could not be opened
        kNotCreated,   // the AVI file could not be made
        kWriteFailed,  // a write failed
    };

    // Packets per stream kind (front, rear, audio).
    struct Counts {
        uint32_t front = 0;
        uint32_t rear = 0;
        uint32_t audio = 0;
        bool Covers(const Counts& o) const {
            return front >= o.front && rear >= o.rear && audio >= o.audio;
        }
    };

    struct Report {
        Result result = Result::kNotFound;
        std::string file;          // the file the conversion left, "" when none
        bool keptEarlier = false;  // a partial copy gave way to an earlier file of its name
        Counts copied;
        Counts expected;  // as the recording's own counts say
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

    // The card's listed recordings of library category 0..3, or of all four for
    // kAllCategories, as the recording list shows them.
    std::vector<std::string> ListRecordings(int category);

    // Converts recording `name` into `destination` (NAME.avi), by the rules above.
    Report Convert(const std::string& name, const std::string& destination,
                   const KeepGoing& keepGoing, const Progress& progress);

    // The AVI path of recording `name` in `folder`: its extension replaced by ".avi", path
    // separators turned into '_' so nothing lands outside the folder; "" for a name that
    // leaves no file name ("", ".", "..").
    static std::string DestinationFor(const std::string& folder, const std::string& name);
    // Where an incomplete copy of `destination` goes: NAME.incomplete.avi.
    static std::string IncompletePath(const std::string& destination);
    static bool Failed(Result result) {
        return result != Result::kWritten && result != Result::kStopped &&
               result != Result::kIncomplete;
    }

private:
    // Gives the closed ".part" file its name by the result's rule.
    void Place(const std::string& part, const std::string& destination, Report* report);

    TatHandle m_handle = nullptr;
    char m_drive = 0;
    CTATParser m_parser;
    CAVIWriter m_writer;
    std::unique_ptr<uint8_t[]> m_packet;
};

}  // namespace locket
