#include "files/trip_index.h"

#include <algorithm>

#include "tat/card_layout.h"

namespace locket {

bool CTripIndex::UseCard(const std::string& root) {
    if (root != m_root) {
        m_root = root;
        m_members.clear();
        m_durations.clear();
        m_routes.clear();
    }
    return !root.empty() && IsCardFolder(root);
}

int64_t CTripIndex::DurationMs(const std::string& name) {
    const auto known = m_durations.find(name);
    if (known != m_durations.end())
        return known->second;
    const int64_t duration = ReadRecordingDurationMs(FindRecordingFile(m_root, name));
    m_durations[name] = duration;
    return duration;
}

void CTripIndex::Group(const std::vector<std::string>& names) {
    m_members.clear();
    for (const std::string& name : names) {
        TripMember member;
        if (!RecordingStartSeconds(name, &member.startS))
            continue;
        member.name = name;
        member.durationMs = std::max<int64_t>(0, DurationMs(name));
        m_members.push_back(std::move(member));
    }
    GroupTrips(&m_members);
}

int CTripIndex::TripOf(const std::string& name) const {
    for (const TripMember& member : m_members) {
        if (member.name == name)
            return member.trip;
    }
    return 0;
}

std::vector<TripMember> CTripIndex::Members(int trip) const {
    std::vector<TripMember> members;
    for (const TripMember& member : m_members) {
        if (member.trip == trip)
            members.push_back(member);
    }
    return members;
}

std::string CTripIndex::NextInTrip(const std::string& name) const {
    for (size_t i = 0; i + 1 < m_members.size(); ++i) {
        if (m_members[i].name == name)
            return m_members[i + 1].trip == m_members[i].trip ? m_members[i + 1].name
                                                              : std::string();
    }
    return {};
}

double CTripIndex::TripLengthMeters(const std::vector<TripMember>& members) {
    std::vector<std::pair<int64_t, const RoutePoint*>> timeline;
    for (const TripMember& member : members) {
        for (const RoutePoint& point : Route(member.name))
            timeline.emplace_back(member.startS * 1000 + point.timeMs, &point);
    }
    std::stable_sort(timeline.begin(), timeline.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<RoutePoint> ordered;
    int64_t lastMs = 0;
    for (const auto& [atMs, point] : timeline) {
        if (!ordered.empty() && atMs <= lastMs)
            continue;
        ordered.push_back(*point);
        lastMs = atMs;
    }
    return RouteLengthMeters(ordered);
}

const std::vector<RoutePoint>& CTripIndex::Route(const std::string& name) {
    auto known = m_routes.find(name);
    if (known == m_routes.end()) {
        std::vector<RoutePoint> route;
        ReadRecordingRoute(FindRecordingFile(m_root, name), &route);
        known = m_routes.emplace(name, std::move(route)).first;
    }
    return known->second;
}

}  // namespace locket
