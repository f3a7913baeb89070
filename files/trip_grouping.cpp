#include "files/trip_grouping.h"

#include <algorithm>
#include <tuple>

namespace locket {

namespace {

bool Digits(std::string_view text, size_t at, size_t count, int* value) {
    if (at + count > text.size())
        return false;
    *value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

bool RecordingStartSeconds(std::string_view name, int64_t* seconds) {
    const size_t date = name.find('_');
    if (date == std::string_view::npos || date + 16 > name.size() || name[date + 9] != '_')
        return false;
    int year, month, day, hour, minute, second;
    if (!Digits(name, date + 1, 4, &year) || !Digits(name, date + 5, 2, &month) ||
        !Digits(name, date + 7, 2, &day) || !Digits(name, date + 10, 2, &hour) ||
        !Digits(name, date + 12, 2, &minute) || !Digits(name, date + 14, 2, &second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return false;
    *seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

void GroupTrips(std::vector<TripMember>* members) {
    std::stable_sort(members->begin(), members->end(),
                     [](const TripMember& a, const TripMember& b) {
                         return std::tie(a.startS, a.name) < std::tie(b.startS, b.name);
                     });
    int trip = 0;
    int64_t endMs = 0;
    for (TripMember& member : *members) {
        const int64_t startMs = member.startS * 1000;
        const int64_t ownEndMs = startMs + std::max<int64_t>(0, member.durationMs);
        if (trip == 0 || startMs > endMs + kTripGapS * 1000) {
            ++trip;
            endMs = ownEndMs;
        } else {
            endMs = std::max(endMs, ownEndMs);
        }
        member.trip = trip;
    }
}

}  // namespace locket
