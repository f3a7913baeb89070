// Tells whether the machine is online, so map tiles are fetched only when that can work.
#pragma once

#include <string_view>

namespace locket {

class VNetworkReachability {
public:
    virtual ~VNetworkReachability() = default;
    virtual bool IsOnline() = 0;
};

// Asks the platform's network information backend; when none loads or it does not know,
// the machine counts as online when a non-loopback interface holds a default route.
class CNetworkReachability : public VNetworkReachability {
public:
    bool IsOnline() override;

    // The route tables in the text form of /proc/net/route and /proc/net/ipv6_route.
    static bool HasDefaultRoute(std::string_view ipv4Routes, std::string_view ipv6Routes);
};

}  // namespace locket
