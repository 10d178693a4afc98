#pragma once

#include "core/Export.h"

OMBRIX_API_BEGIN

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ombrix {

// What the network monitor reads from the kernel's routing netlink: links and routes.
struct NetLink {
    int index = 0;
    std::string name;
    unsigned flags = 0; // IFF_* as the kernel reports them, IFF_RUNNING included
};

struct NetRoute {
    std::uint8_t family = 0; // AF_INET, AF_INET6
    std::uint8_t dstLength = 0;
    std::uint32_t table = 0;
    std::uint8_t type = 0;   // RTN_*
    int outputInterface = 0; // 0: none given (multipath)
};

// Online means: a unicast default route (IPv4 or IPv6) leaves through a non-loopback link
// that is up and running. A default route without a single output interface counts when
// any such link exists.
bool isNetworkReachable(const std::vector<NetLink>& links, const std::vector<NetRoute>& routes);

enum class DumpProgress { more, done, failed };

// Reads one received buffer of an RTM_GETLINK or RTM_GETROUTE dump with sequence number
// `seq`, appending what it finds. Messages of other sequences or types are skipped.
// Returns done at NLMSG_DONE, failed on an error reply, an interrupted dump or a
// malformed buffer, more otherwise.
DumpProgress parseRouteDump(const void* data, std::size_t length, std::uint32_t seq,
                            std::vector<NetLink>& links, std::vector<NetRoute>& routes);

} // namespace ombrix

OMBRIX_API_END
