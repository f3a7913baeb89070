// Which recordings a card gets: their categories, names, times, cameras and where in the drive
// (or in the parked hours after it) each one was taken.
#pragma once

#include <string>
#include <vector>

#include "tat/card_layout.h"
#include "tat/tat_library.h"
#include "tools/locket-record/record_options.h"

namespace locket {

struct RecordingPlan {
    int category = kTatContinuous;
    RecordingTime time;  // local time at the start
    std::string name;    // KIND_YYYYMMDD_hhmmss_F.tat
    std::string path;
    bool rear = true;
    bool parked = false;  // PARKING: engine off, gear P
    double offsetS = 0;   // into the drive, or since the car was parked
    bool shock = false;   // EVENT: the knock that triggered it
    int seconds = 20;
    uint32_t seed = 1;
    bool powerCut = false;
    int damageBytes = 0;
    std::string importFile;
};

// Time zone of the recorder's clock; GPS times are UTC.
constexpr int kLocalUtcOffsetHours = 9;

// The recordings, oldest first; the last one takes --power-cut and --damage. `driveSeconds`
// receives how much driving the plans need. False with *error for an unusable --one name.
bool MakeCardPlan(const RecordOptions& options, std::vector<RecordingPlan>* plans,
                  double* driveSeconds, std::string* error);

// Moves every plan whose kind, date and second a recording on the card (or an earlier plan)
// already has to the next free second, so the tool never replaces a recording. One line per
// move goes to *notes.
void TakeFreeSeconds(const std::string& cardDir, std::vector<RecordingPlan>* plans,
                     std::vector<std::string>* notes);

}  // namespace locket
