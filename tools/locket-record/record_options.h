// The command line of locket-record.
#pragma once

#include <string>

#include "tat/card_layout.h"

namespace locket {

enum class RearMode { kMixed, kAlways, kNever };

struct RecordOptions {
    std::string cardDir;
    int seconds = 20;  // length of each recording
    int count = 2;     // recordings per category
    int width = 1280;
    int height = 720;
    int rearWidth = 640;
    int rearHeight = 360;
    int fps = 30;
    uint32_t seed = 1;
    RearMode rear = RearMode::kMixed;
    int onlyCategory = -1;   // library category, -1: all four
    std::string oneName;     // make exactly this recording
    int startMidGroup = 0;   // front and rear open with this many frames of a group cut off
    bool powerCut = false;   // the last recording ends as a power cut would leave it
    int minKib = 0;          // recordings are filled up to at least this size
    int damageBytes = 0;     // bytes overwritten in the middle of the last recording
    std::string importFile;  // H.264 footage to make the recording from
    RecordingTime start{2024, 3, 1, 8, 30, 0};  // local time of the first recording
    bool startGiven = false;
    int jobs = 2;  // recordings made at the same time
    bool quiet = false;
    bool help = false;
};

// Parses argv. False with a message in *error for anything it cannot accept.
bool ParseRecordOptions(int argc, const char* const* argv, RecordOptions* options,
                        std::string* error);

// The --help text.
std::string RecordUsage();

}  // namespace locket
