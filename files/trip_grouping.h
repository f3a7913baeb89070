// Trips: recordings whose times follow each other, whatever their category, as one drive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace locket {

// A recording that starts at most this long after the latest end so far joins the trip.
constexpr int64_t kTripGapS = 5;

struct TripMember {
    std::string name;
    int64_t startS = 0;  // local time from the name, seconds since 1970-01-01
    int64_t durationMs = 0;
    int trip = 0;  // 1 for the oldest trip
};

// Seconds since 1970-01-01 of the name's date and time fields (KIND_YYYYMMDD_hhmmss_...);
// false when they are missing or not a time.
bool RecordingStartSeconds(std::string_view name, int64_t* seconds);

// Sorts the members oldest first (then by name) and numbers their trips from 1.
void GroupTrips(std::vector<TripMember>* members);

}  // namespace locket
