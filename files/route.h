// The GPS route of a recording: its valid fixes in time order, broken where the fix was lost,
// and great-circle distances along it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/gps_data.h"
#include "tat/tat_library.h"

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

// Reads the route of the recording `name` of the card behind `handle` (a handle nobody
// streams from meanwhile); *durationMs, if given, gets the recording's length from its front
// frame count. False when the recording cannot be read.
bool ReadRecordingRoute(TatHandle handle, const std::string& name, std::vector<RoutePoint>* route,
                        int64_t* durationMs = nullptr);

// Length of the recording from its description (front frames / frame rate); -1 when unknown.
int64_t ReadRecordingDurationMs(TatHandle handle, const std::string& name);

}  // namespace locket
