#include "widgets/network_reachability.h"

#include <QNetworkInformation>
#include <QPointer>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace locket {

namespace {

constexpr unsigned long kRouteUp = 0x0001;
constexpr unsigned long kRouteReject = 0x0200;

std::string ReadWhole(const char* path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Iface Destination Gateway Flags RefCnt Use Metric Mask ... (hex, first line a header)
bool HasIpv4DefaultRoute(std::string_view table) {
    std::istringstream lines{std::string(table)};
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCount, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >>
              mask))
            continue;
        const unsigned long bits = std::strtoul(flags.c_str(), nullptr, 16);
        if (iface != "lo" && destination == "00000000" && mask == "00000000" && (bits & kRouteUp) &&
            !(bits & kRouteReject))
            return true;
    }
    return false;
}

// Destination PrefixLen Source SourceLen NextHop Metric RefCnt Use Flags Iface (no header)
bool HasIpv6DefaultRoute(std::string_view table) {
    std::istringstream lines{std::string(table)};
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string destination, prefix, source, sourceLength, nextHop, metric, refCount, use,
            flags, iface;
        if (!(fields >> destination >> prefix >> source >> sourceLength >> nextHop >> metric >>
              refCount >> use >> flags >> iface))
            continue;
        const unsigned long bits = std::strtoul(flags.c_str(), nullptr, 16);
        if (iface != "lo" && destination == std::string(32, '0') && prefix == "00" &&
            (bits & kRouteUp) && !(bits & kRouteReject))
            return true;
    }
    return false;
}

QNetworkInformation* Backend() {
    // Loading is tried once per process: without a backend every later call takes the
    // route tables. The backend goes with the application object, which may end first.
    static const QPointer<QNetworkInformation> backend = [] {
        if (!QNetworkInformation::loadBackendByFeatures(
                QNetworkInformation::Feature::Reachability)) {
            printf("[Network] no reachability backend, using the route table\n");
            return QPointer<QNetworkInformation>();
        }
        return QPointer<QNetworkInformation>(QNetworkInformation::instance());
    }();
    return backend.data();
}

}  // namespace

bool CNetworkReachability::HasDefaultRoute(std::string_view ipv4Routes,
                                           std::string_view ipv6Routes) {
    return HasIpv4DefaultRoute(ipv4Routes) || HasIpv6DefaultRoute(ipv6Routes);
}

bool CNetworkReachability::IsOnline() {
    if (QNetworkInformation* info = Backend()) {
        switch (info->reachability()) {
            case QNetworkInformation::Reachability::Online:
                return true;
            case QNetworkInformation::Reachability::Disconnected:
            case QNetworkInformation::Reachability::Local:
            case QNetworkInformation::Reachability::Site:
                return false;
            case QNetworkInformation::Reachability::Unknown:
                break;
        }
    }
    return HasDefaultRoute(ReadWhole("/proc/net/route"), ReadWhole("/proc/net/ipv6_route"));
}

}  // namespace locket
