#include "tools/locket-record/record_options.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/locket-record/sensor_packets.h"

namespace locket {

namespace {

bool ParseInt(const std::string& text, long lo, long hi, int* out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = static_cast<int>(v);
    return true;
}

bool ParseSize(const std::string& text, int* w, int* h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos)
        return false;
    return ParseInt(text.substr(0, x), 32, 4096, w) && ParseInt(text.substr(x + 1), 32, 4096, h) &&
           *w % 2 == 0 && *h % 2 == 0;
}

int CategoryOfKind(const std::string& kind) {
    for (int c = 0; c < kTatCategoryCount; ++c)
        if (strcasecmp(kind.c_str(), kTatCategoryKinds[c]) == 0)
            return c;
    return -1;
}

// "YYYYMMDD_hhmmss".
bool ParseStart(const std::string& text, RecordingTime* t) {
    if (text.size() != 15 || text[8] != '_')
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != 8 && (text[i] < '0' || text[i] > '9'))
            return false;
    auto num = [&](size_t at, size_t n) { return std::atoi(text.substr(at, n).c_str()); };
    RecordingTime r{num(0, 4), num(4, 2), num(6, 2), num(9, 2), num(11, 2), num(13, 2)};
    if (r.year < 2000 || r.year > 2069 || !IsCalendarTime(r))
        return false;
    *t = r;
    return true;
}

}  // namespace

std::string RecordUsage() {
    return "Usage: locket-record CARD_DIR [options]\n"
           "Writes a Locket KX2 memory card into CARD_DIR: recordings in EVENT, REC, PARKING and\n"
           "MANUAL, SETTING/blackbox.cfg and the recorder's settings copy.\n"
           "\n"
           "Options (a value may also follow '='):\n"
           "  --seconds N         length of each recording (1..3600, default 20)\n"
           "  --count N           recordings per category (1..100, default 2)\n"
           "  --size WxH          front picture size (even, default 1280x720)\n"
           "  --rear-size WxH     rear picture size (even, default 640x360)\n"
           "  --fps N             frame rate of both cameras (1..60, default 30)\n"
           "  --seed N            makes a different but repeatable card (default 1)\n"
           "  --start YYYYMMDD_hhmmss\n"
           "                      local time of the first recording (default 20240301_083000)\n"
           "  --rear              every recording has the rear camera\n"
           "  --no-rear           no recording has the rear camera\n"
           "                      (default: both kinds when a category has two or more)\n"
           "  --only KIND         only this category: REC, EVENT, PARKING or MANUAL\n"
           "  --one NAME          exactly one recording, named KIND_YYYYMMDD_hhmmss_F.tat\n"
           "                      (F = D with both cameras, F with the front one only)\n"
           "  --start-mid-group[=N]\n"
           "                      recordings open N frames into a key-frame group (default 12)\n"
           "  --min-kib N         fill every recording up to N KiB (1..65536) with the filler\n"
           "                      packets of a preallocating recorder (text 'P', ignored by\n"
           "                      players); the viewer lists only files of 512 KiB or more\n"
           "  --power-cut         the last recording ends as a power loss leaves it: no index,\n"
           "                      its last packet torn\n"
           "  --damage[=N]        overwrite N bytes (default 4096) in the middle of the last\n"
           "                      recording after it is written\n"
           "  --import FILE       make one front-camera recording (REC, or --only's category,\n"
           "                      or named by --one) from H.264 footage (.h264 or .mp4);\n"
           "                      footage without a key frame every 24 pictures is encoded\n"
           "                      anew; sound and sensors are made up to match\n"
           "  --jobs N            recordings made at the same time (1..16, default 2)\n"
           "  --quiet             no line per recording\n"
           "  --help              this text\n";
}

bool ParseRecordOptions(int argc, const char* const* argv, RecordOptions* options,
                        std::string* error) {
    error->clear();
    RecordOptions o;
    std::string positional;
    bool sawRear = false, sawNoRear = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) {
            if (!positional.empty()) {
                *error = "more than one card folder given: '" + positional + "' and '" + arg + "'";
                return false;
            }
            positional = arg;
            continue;
        }
        std::string name = arg, value;
        bool hasValue = false;
        const size_t eq = arg.find('=');
        if (eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        // Options that take a value read the next argument when it was not given with '='.
        auto need = [&](std::string* v) {
            if (hasValue) {
                *v = value;
                return true;
            }
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return false;
            }
            *v = argv[++i];
            return true;
        };
        auto noValue = [&]() {
            if (hasValue)
                *error = name + " takes no value";
            return !hasValue;
        };
        std::string v;
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--seconds") {
            if (!need(&v) || !ParseInt(v, 1, 3600, &o.seconds)) {
                if (error->empty())
                    *error = "--seconds wants a whole number from 1 to 3600, not '" + v + "'";
                return false;
            }
        } else if (name == "--count") {
            if (!need(&v) || !ParseInt(v, 1, 100, &o.count)) {
                if (error->empty())
                    *error = "--count wants a whole number from 1 to 100, not '" + v + "'";
                return false;
            }
        } else if (name == "--size" || name == "--rear-size") {
            int* w = name == "--size" ? &o.width : &o.rearWidth;
            int* h = name == "--size" ? &o.height : &o.rearHeight;
            if (!need(&v) || !ParseSize(v, w, h)) {
                if (error->empty())
                    *error = name + " wants WxH with even sizes from 32 to 4096, not '" + v + "'";
                return false;
            }
        } else if (name == "--fps") {
            if (!need(&v) || !ParseInt(v, 1, 60, &o.fps)) {
                if (error->empty())
                    *error = "--fps wants a whole number from 1 to 60, not '" + v + "'";
                return false;
            }
        } else if (name == "--seed") {
            int seed = 0;
            if (!need(&v) || !ParseInt(v, 0, 2147483647L, &seed)) {
                if (error->empty())
                    *error = "--seed wants a whole number from 0 to 2147483647, not '" + v + "'";
                return false;
            }
            o.seed = static_cast<uint32_t>(seed);
        } else if (name == "--start") {
            if (!need(&v) || !ParseStart(v, &o.start)) {
                if (error->empty())
                    *error =
                        "--start wants a local time YYYYMMDD_hhmmss (years 2000..2069), not '" + v +
                        "'";
                return false;
            }
            o.startGiven = true;
        } else if (name == "--rear") {
            if (!noValue())
                return false;
            sawRear = true;
            o.rear = RearMode::kAlways;
        } else if (name == "--no-rear") {
            if (!noValue())
                return false;
            sawNoRear = true;
            o.rear = RearMode::kNever;
        } else if (name == "--only") {
            if (!need(&v))
                return false;
            o.onlyCategory = CategoryOfKind(v);
            if (o.onlyCategory < 0) {
                *error = "--only wants REC, EVENT, PARKING or MANUAL, not '" + v + "'";
                return false;
            }
        } else if (name == "--one") {
            if (!need(&v))
                return false;
            if (!IsRecordingFileName(v) || CategoryOfName(v) < 0) {
                *error = "--one wants a name like REC_20240301_083000_D.tat, not '" + v + "'";
                return false;
            }
            o.oneName = v;
        } else if (name == "--start-mid-group") {
            o.startMidGroup = 12;
            if (hasValue && !ParseInt(value, 1, 23, &o.startMidGroup)) {
                *error =
                    "--start-mid-group wants a number of frames from 1 to 23, not '" + value + "'";
                return false;
            }
        } else if (name == "--min-kib") {
            if (!need(&v) || !ParseInt(v, 1, 65536, &o.minKib)) {
                if (error->empty())
                    *error = "--min-kib wants a whole number from 1 to 65536, not '" + v + "'";
                return false;
            }
        } else if (name == "--power-cut") {
            if (!noValue())
                return false;
            o.powerCut = true;
        } else if (name == "--damage") {
            o.damageBytes = 4096;
            if (hasValue && !ParseInt(value, 1, 1 << 24, &o.damageBytes)) {
                *error = "--damage wants a number of bytes from 1 to 16777216, not '" + value + "'";
                return false;
            }
        } else if (name == "--import") {
            if (!need(&v))
                return false;
            if (v.empty()) {
                *error = "--import wants a file";
                return false;
            }
            o.importFile = v;
        } else if (name == "--jobs") {
            if (!need(&v) || !ParseInt(v, 1, 16, &o.jobs)) {
                if (error->empty())
                    *error = "--jobs wants a whole number from 1 to 16, not '" + v + "'";
                return false;
            }
        } else if (name == "--quiet") {
            if (!noValue())
                return false;
            o.quiet = true;
        } else {
            *error = "unknown option '" + arg + "' (see --help)";
            return false;
        }
    }
    if (o.help) {
        *options = o;
        return true;
    }
    if (static_cast<long>(o.seconds) * o.count > 86400) {
        *error = "--seconds times --count makes more than a day of recordings";
        return false;
    }
    if (!o.importFile.empty() && (sawRear || o.startMidGroup > 0)) {
        *error =
            "--import makes a front-camera recording of the footage as it is: no --rear or "
            "--start-mid-group";
        return false;
    }
    if (sawRear && sawNoRear) {
        *error = "--rear and --no-rear exclude each other";
        return false;
    }
    if (!o.oneName.empty() && (sawRear || sawNoRear)) {
        *error = "--one takes the cameras from the name's last field: no --rear or --no-rear";
        return false;
    }
    if (!o.oneName.empty() && o.onlyCategory >= 0 && CategoryOfName(o.oneName) != o.onlyCategory) {
        *error = "--one names a recording of another category than --only";
        return false;
    }
    if (positional.empty()) {
        *error = "no card folder given (usage: locket-record CARD_DIR [options])";
        return false;
    }
    o.cardDir = positional;
    *options = o;
    return true;
}

}  // namespace locket
