#include "files/route.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace locket {

namespace {

constexpr double kEarthMeanRadiusM = 6371008.8;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
// Room for the largest picture packet: the library reads every packet whole anyway, and one
// that does not fit is reported with a trace line.
constexpr uint32_t kPacketCapacity = 8u << 20;

}  // namespace

bool AppendRouteFix(std::vector<RoutePoint>* route, const CGPSData& fix, int32_t timeMs) {
    if (!fix.valid)
        return false;
    RoutePoint point;
    point.latitudeDeg = fix.GetLatitudeDeg();
    point.longitudeDeg = fix.GetLongitudeDeg();
    point.speedKmh = fix.GetSpeedKmh();
    point.timeMs = timeMs;
    point.breaksBefore = route->empty() || timeMs < route->back().timeMs ||
                         timeMs - route->back().timeMs > kRouteGapMs;
    route->push_back(point);
    return true;
}

bool AppendRouteTextPacket(std::vector<RoutePoint>* route, const uint8_t* data, size_t size,
                           int32_t timeMs) {
    if (!data || size < 7 || data[0] != 'G')
        return false;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    if (text.size() < 7 || text.substr(2, 5) != "GPRMC")
        return false;
    return AppendRouteFix(route, CGPSData(text), timeMs);
}

double GreatCircleMeters(double latitude1Deg, double longitude1Deg, double latitude2Deg,
                         double longitude2Deg) {
    const double phi1 = latitude1Deg * kDegToRad;
    const double phi2 = latitude2Deg * kDegToRad;
    const double dPhi = phi2 - phi1;
    const double dLambda = (longitude2Deg - longitude1Deg) * kDegToRad;
    const double a = std::sin(dPhi / 2) * std::sin(dPhi / 2) + std::cos(phi1) * std::cos(phi2) *
                                                                   std::sin(dLambda / 2) *
                                                                   std::sin(dLambda / 2);
    return 2 * kEarthMeanRadiusM * std::asin(std::min(1.0, std::sqrt(a)));
}

double RouteLengthMeters(const std::vector<RoutePoint>& route) {
    double total = 0;
    for (size_t i = 1; i < route.size(); ++i)
        total += GreatCircleMeters(route[i - 1].latitudeDeg, route[i - 1].longitudeDeg,
                                   route[i].latitudeDeg, route[i].longitudeDeg);
    return total;
}

bool NearestRoutePoint(const std::vector<std::vector<RoutePoint>>& routes, double latitudeDeg,
                       double longitudeDeg, size_t* route, size_t* point) {
    double best = -1;
    for (size_t r = 0; r < routes.size(); ++r) {
        for (size_t i = 0; i < routes[r].size(); ++i) {
            const double d = GreatCircleMeters(latitudeDeg, longitudeDeg, routes[r][i].latitudeDeg,
                                               routes[r][i].longitudeDeg);
            if (best < 0 || d < best) {
                best = d;
                *route = r;
                *point = i;
            }
        }
    }
    return best >= 0;
}

int64_t ReadRecordingDurationMs(TatHandle handle, const std::string& name) {
    uint8_t description[kTatDescriptionBytes] = {};
    int32_t count0 = 0, count1 = 0;
    uint8_t block244[244] = {};
    char countsText[kTatCountsTextBytes + 1] = {};
    uint8_t block40[40] = {};
    if (!TatQueryRecording(handle, name.c_str(), description, &count0, &count1, block244,
                           countsText, block40))
        return -1;
    const int fps = description[3];
    if (fps <= 0 || count0 < 0)
        return -1;
    return static_cast<int64_t>(count0) * 1000 / fps;
}

bool ReadRecordingRoute(TatHandle handle, const std::string& name, std::vector<RoutePoint>* route,
                        int64_t* durationMs) {
    route->clear();
    if (durationMs)
        *durationMs = ReadRecordingDurationMs(handle, name);
    const int64_t position = TatLocate(handle, -1, name.c_str());
    if (position < 0 || !TatStartStream(handle, -1, 0, position))
        return false;
    std::vector<uint8_t> buffer(kPacketCapacity);
    // A recording still being written may have nothing more for now: that is its end here.
    for (int idle = 0; idle < 100;) {
        uint8_t stream = 0, kind = 0xFF, flag = 0;
        uint32_t size = kPacketCapacity;
        int32_t timeMs = 0;
        const int32_t status =
            TatReadPacket(handle, &stream, &kind, &flag, &size, buffer.data(), &timeMs);
        if (status == kTatNoPacketNow) {
            ++idle;
            continue;
        }
        if (status != kTatPacket)
            break;
        idle = 0;
        if (kind == kTatKindText)
            AppendRouteTextPacket(route, buffer.data(), std::min(size, kPacketCapacity), timeMs);
    }
    return true;
}

}  // namespace locket
