// The GPS route of a recording: its valid fixes in time order, broken where the fix was lost,
// and great-circle distances along it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/gps_data.h"

namespace locket {

struct RoutePoint {
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    double speedKmh = 0;
    int32_t timeMs = 0;         // playback time within its recording
    bool breaksBefore = false;  // not joined to the point before (first point, or a lost fix)
};

// Longer than this without a valid fix breaks the line.
constexpr int32_t kRouteGapMs = 5000;

// Appends the fix when it is valid; the point breaks the line when it is the first one or
// more than kRouteGapMs (or a step back in time) lies since the point before.
bool AppendRouteFix(std::vector<RoutePoint>* route, const CGPSData& fix, int32_t timeMs);

// The same for a recorder's text packet ('G' with an RMC sentence; anything else is ignored).
bool AppendRouteTextPacket(std::vector<RoutePoint>* route, const uint8_t* data, size_t size,
                           int32_t timeMs);

// Metres along the surface of a sphere of the Earth's mean radius (haversine).
double GreatCircleMeters(double latitude1Deg, double longitude1Deg, double latitude2Deg,
                         double longitude2Deg);

// Sum of the fix-to-fix distances, across breaks too: the car moved while the fix was lost.
double RouteLengthMeters(const std::vector<RoutePoint>& route);

// The point nearest to a position among several routes (great-circle distance): its route
// and its index there. False when the routes hold no point.
bool NearestRoutePoint(const std::vector<std::vector<RoutePoint>>& routes, double latitudeDeg,
                       double longitudeDeg, size_t* route, size_t* point);

// The file of the recording `name` on the card at `root` (its category folder and name matched
// without regard to case, as a copied card may have other case); empty when there is none.
std::string FindRecordingFile(const std::string& root, const std::string& name);

// Reads the route of a recording file, only its text packets; *durationMs, if given, gets the
// recording's length. False when the file is no recording.
bool ReadRecordingRoute(const std::string& path, std::vector<RoutePoint>* route,
                        int64_t* durationMs = nullptr);

// Length of a recording file; -1 when it is no recording.
int64_t ReadRecordingDurationMs(const std::string& path);

}  // namespace locket
