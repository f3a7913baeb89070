#include "files/route.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string_view>

#include "tat/card_layout.h"
#include "tat/tat_reader.h"
#include "tat/tat_text_scan.h"

namespace locket {

namespace {

constexpr double kEarthMeanRadiusM = 6371008.8;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
// Text packets are short; after damage, the reader may hand over others until the next one.
constexpr uint32_t kTextCapacity = 64u << 10;

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

std::string FindRecordingFile(const std::string& root, const std::string& name) {
    const char* folder = CategoryFolder(CategoryOfName(name));
    if (root.empty() || !folder || name.find('/') != std::string::npos)
        return {};
    const std::string exact = JoinPath(JoinPath(root, folder), name);
    if (::access(exact.c_str(), R_OK) == 0)
        return exact;
    // A copied card may spell its folders and names in other case.
    std::error_code error;
    for (const auto& dir : std::filesystem::directory_iterator(root, error)) {
        if (strcasecmp(dir.path().filename().c_str(), folder) != 0 || !dir.is_directory(error))
            continue;
        for (const auto& file : std::filesystem::directory_iterator(dir.path(), error)) {
            if (strcasecmp(file.path().filename().c_str(), name.c_str()) == 0)
                return file.path().string();
        }
    }
    return {};
}

int64_t ReadRecordingDurationMs(const std::string& path) {
    CTatReader reader;
    return !path.empty() && reader.Open(path) ? static_cast<int64_t>(reader.DurationMs()) : -1;
}

bool ReadRecordingRoute(const std::string& path, std::vector<RoutePoint>* route,
                        int64_t* durationMs) {
    route->clear();
    if (durationMs)
        *durationMs = -1;
    CTatReader reader;
    if (path.empty() || !reader.Open(path))
        return false;
    if (durationMs)
        *durationMs = reader.DurationMs();
    return ScanTextPackets(path, [route](uint32_t timeMs, const uint8_t* data, uint32_t size) {
        AppendRouteTextPacket(route, data, std::min(size, kTextCapacity),
                              static_cast<int32_t>(timeMs));
    });
}

}  // namespace locket
