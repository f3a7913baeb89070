// Trips and routes of the recordings of one card, read from the files by readers of their own
// so the player's stream is never disturbed. Each recording's length and route is read once.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "files/route.h"
#include "files/trip_grouping.h"

namespace locket {

class CTripIndex {
public:
    CTripIndex() = default;
    CTripIndex(const CTripIndex&) = delete;
    CTripIndex& operator=(const CTripIndex&) = delete;

    // The card's folder; false when it is no card. Another folder forgets what was read.
    bool UseCard(const std::string& root);
    const std::string& CardRoot() const { return m_root; }

    // Groups these recordings of the card into trips (names without a time stay out).
    void Group(const std::vector<std::string>& names);
    // 0 when the recording was not grouped.
    int TripOf(const std::string& name) const;
    // The members of a trip, oldest first.
    std::vector<TripMember> Members(int trip) const;
    // The recording after `name` in its trip; empty at the trip's end.
    std::string NextInTrip(const std::string& name) const;
    // Fix-to-fix great-circle distance over the members' routes in time order; a stretch
    // that two recordings both hold (an event saved during a drive) counts once.
    double TripLengthMeters(const std::vector<TripMember>& members);
    // The route of one recording, read at the first call.
    const std::vector<RoutePoint>& Route(const std::string& name);

private:
    int64_t DurationMs(const std::string& name);

    std::string m_root;
    std::vector<TripMember> m_members;  // oldest first
    std::map<std::string, int64_t> m_durations;
    std::map<std::string, std::vector<RoutePoint>> m_routes;
};

}  // namespace locket
