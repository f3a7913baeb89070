#include "tools/locket-record/card_plan.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <tuple>

#include "tools/locket-record/sensor_packets.h"

namespace locket {

namespace {

// Minutes between parking recordings: motion wakes the recorder now and then.
constexpr int kParkingGapS = 600;
constexpr int kParkedBeforeFirstS = 300;

void Finish(const RecordOptions& o, RecordingPlan* p) {
    p->name = RecordingFileName(p->category, p->time, p->rear ? 2 : 1);
    p->path = RecordingPath(o.cardDir, p->category, p->time, p->rear ? 2 : 1);
}

// "KIND_YYYYMMDD_hhmmss" in upper case: what names one recording slot of the recorder,
// whatever the camera flag and the spelling.
std::string SlotKey(const std::string& name) {
    size_t end = 0;
    for (int field = 0; field < 3 && end != std::string::npos; ++field)
        end = name.find('_', end == 0 ? 0 : end + 1);
    std::string key = name.substr(0, end);
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

std::set<std::string> SlotsInFolder(const std::string& folder) {
    std::set<std::string> slots;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return slots;
    while (const struct dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, kTatExtension) == 0)
            slots.insert(SlotKey(name));
    }
    ::closedir(dir);
    return slots;
}

// The name with its date and time fields set to `time`; the other fields as they were.
std::string Retimed(const std::string& name, const RecordingTime& t) {
    const size_t first = name.find('_');
    const size_t second = first == std::string::npos ? first : name.find('_', first + 1);
    const size_t third = second == std::string::npos ? second : name.find('_', second + 1);
    if (third == std::string::npos)
        return name;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d_%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    return name.substr(0, first + 1) + stamp + name.substr(third);
}

}  // namespace

void TakeFreeSeconds(const std::string& cardDir, std::vector<RecordingPlan>* plans,
                     std::vector<std::string>* notes) {
    std::set<std::string> taken[kTatCategoryCount];
    for (int c = 0; c < kTatCategoryCount; ++c)
        taken[c] = SlotsInFolder(JoinPath(cardDir, CategoryFolder(c)));
    for (RecordingPlan& p : *plans) {
        if (p.category < 0 || p.category >= kTatCategoryCount)
            continue;
        std::set<std::string>& slots = taken[p.category];
        const std::string wanted = p.name;
        while (slots.count(SlotKey(p.name))) {
            const std::string before = p.name;
            p.time = AddSeconds(p.time, 1);
            p.name = Retimed(p.name, p.time);
            if (p.name == before)
                break;  // no date and time fields to move
        }
        slots.insert(SlotKey(p.name));
        if (p.name != wanted) {
            p.path = JoinPath(JoinPath(cardDir, CategoryFolder(p.category)), p.name);
            notes->push_back(wanted + " is on the card already: the new recording is " + p.name);
        }
    }
}

bool MakeCardPlan(const RecordOptions& o, std::vector<RecordingPlan>* plans, double* driveSeconds,
                  std::string* error) {
    plans->clear();
    const int s = o.seconds;
    *driveSeconds = static_cast<double>(o.count) * s + s + 2;

    if (!o.oneName.empty() || !o.importFile.empty()) {
        RecordingPlan p;
        p.seconds = s;
        p.seed = o.seed;
        p.time = o.start;
        p.category = o.onlyCategory >= 0 ? o.onlyCategory : kTatContinuous;
        p.rear = o.importFile.empty() && o.rear != RearMode::kNever;
        if (!o.oneName.empty()) {
            std::string name = o.oneName;
            const size_t u = name.find('_');
            p.category = CategoryOfName(name);
            p.time.year = std::atoi(name.substr(u + 1, 4).c_str());
            p.time.month = std::atoi(name.substr(u + 5, 2).c_str());
            p.time.day = std::atoi(name.substr(u + 7, 2).c_str());
            p.time.hour = std::atoi(name.substr(u + 10, 2).c_str());
            p.time.minute = std::atoi(name.substr(u + 12, 2).c_str());
            p.time.second = std::atoi(name.substr(u + 14, 2).c_str());
            const char flag =
                static_cast<char>(std::toupper(static_cast<unsigned char>(name[u + 17])));
            if (!o.importFile.empty() && flag == 'D') {
                *error = "an imported recording has the front camera only: name it ..._F.tat";
                return false;
            }
            p.rear = flag == 'D';
        }
        p.parked = p.category == kTatParking;
        p.offsetS = p.parked ? kParkedBeforeFirstS : 0;
        p.shock = p.category == kTatEvent;
        p.importFile = o.importFile;
        Finish(o, &p);
        if (p.name.empty() || !IsCalendarTime(p.time)) {
            *error = "the date or time in '" + o.oneName + "' does not exist";
            return false;
        }
        if (!o.oneName.empty()) {
            // Keep the spelling the caller asked for.
            p.name = o.oneName;
            if (p.name.size() < 4 || strcasecmp(p.name.c_str() + p.name.size() - 4, ".tat") != 0)
                p.name += kTatExtension;
            p.path = JoinPath(JoinPath(o.cardDir, CategoryFolder(p.category)), p.name);
        }
        p.powerCut = o.powerCut;
        p.damageBytes = o.damageBytes;
        plans->push_back(p);
        return true;
    }

    for (int category = 0; category < kTatCategoryCount; ++category) {
        if (o.onlyCategory >= 0 && category != o.onlyCategory)
            continue;
        for (int i = 0; i < o.count; ++i) {
            RecordingPlan p;
            p.category = category;
            p.seconds = s;
            p.seed = o.seed * 131u + static_cast<uint32_t>(category * 1000 + i);
            int64_t at = 0;  // seconds after the first recording began
            switch (category) {
                case kTatContinuous:
                    at = static_cast<int64_t>(i) * s;
                    p.offsetS = static_cast<double>(at);
                    break;
                case kTatEvent:
                    // An event is saved while the continuous recording goes on.
                    at = static_cast<int64_t>(i) * s + s / 2 + 1;
                    p.offsetS = static_cast<double>(at);
                    p.shock = true;
                    break;
                case kTatManual:
                    at = static_cast<int64_t>(i) * s + s / 4 + 3;
                    p.offsetS = static_cast<double>(at);
                    break;
                case kTatParking: {
                    const int64_t since =
                        kParkedBeforeFirstS + static_cast<int64_t>(i) * (s + kParkingGapS);
                    at = static_cast<int64_t>(*driveSeconds) + since;
                    p.offsetS = static_cast<double>(since);
                    p.parked = true;
                    break;
                }
            }
            p.time = AddSeconds(o.start, at);
            switch (o.rear) {
                case RearMode::kAlways:
                    p.rear = true;
                    break;
                case RearMode::kNever:
                    p.rear = false;
                    break;
                case RearMode::kMixed:
                    // Every second recording of a category lost its rear camera cable.
                    p.rear = o.count < 2 || i % 2 == 0;
                    break;
            }
            Finish(o, &p);
            plans->push_back(p);
        }
    }
    std::stable_sort(
        plans->begin(), plans->end(), [](const RecordingPlan& a, const RecordingPlan& b) {
            return std::tie(a.time.year, a.time.month, a.time.day, a.time.hour, a.time.minute,
                            a.time.second) < std::tie(b.time.year, b.time.month, b.time.day,
                                                      b.time.hour, b.time.minute, b.time.second);
        });
    if (!plans->empty()) {
        plans->back().powerCut = o.powerCut;
        plans->back().damageBytes = o.damageBytes;
    }
    return true;
}

}  // namespace locket
