// What every converter of this folder is driven by and reports, one recording at a time.
//
// A conversion is driven by two callbacks: `keepGoing`, asked before every packet (false stops
// it), and `progress`, told after every front picture. It reports one ExportReport, whose
// result decides the name of the file it leaves (output_file.h):
// - kWritten: every packet wanted was converted: NAME.ext, replacing a file of that name.
// - kIncomplete: packets were lost on the way (a damaged stretch passed over, the recording
//   ended early or went away with the card). What was converted is closed, playable and kept as
//   NAME.incomplete.ext, since it may be all that is left of the recording; the report gives
//   the packets copied and expected. A clip's files (clip_converter.h) are named alike, every
//   one of them: NAME.mp4 -> NAME.incomplete.mp4, NAME_rear.mp4 -> NAME_rear.incomplete.mp4,
//   and so for .gpx, .csv and the .sha256 that lists them; its counts are of front pictures in
//   the clip's range.
// - kStopped: stopped by `keepGoing`. The partial file is closed, playable and named NAME.ext.
// A partial file (stopped or incomplete) never replaces a file: where its name is taken, the
// earlier file stays, the partial one is removed and keptEarlier says so.
// - kNotFound, kNotCreated, kWriteFailed: no file is left. A failed write includes a file that
//   could not be finished (index, header, close) or renamed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace locket {

using ExportKeepGoing = std::function<bool()>;
// Front pictures converted so far and their total (0 when the recording does not tell).
using ExportProgress = std::function<void(int frame, int total)>;

enum class ExportResult {
    kWritten,
    kIncomplete,
    kStopped,
    kNotFound,     // the recording could not be opened
    kNotCreated,   // the file could not be made
    kWriteFailed,  // a write failed
};

// Packets per stream kind.
struct ExportCounts {
    uint32_t front = 0;
    uint32_t rear = 0;
    uint32_t audio = 0;
    bool Covers(const ExportCounts& o) const {
        return front >= o.front && rear >= o.rear && audio >= o.audio;
    }
};

struct ExportReport {
    ExportResult result = ExportResult::kNotFound;
    std::string file;          // the file the conversion left, "" when none
    bool keptEarlier = false;  // a partial file gave way to an earlier file of its name
    ExportCounts copied;
    ExportCounts expected;  // as the recording's own counts say
};

// The conversion left no file.
inline bool ExportFailed(ExportResult result) {
    return result != ExportResult::kWritten && result != ExportResult::kStopped &&
           result != ExportResult::kIncomplete;
}

}  // namespace locket
