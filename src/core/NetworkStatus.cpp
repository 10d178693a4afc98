#include "core/NetworkStatus.h"

#include <algorithm>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

namespace ombrix {

namespace {

bool usable(const NetLink& link) {
    return (link.flags & IFF_LOOPBACK) == 0 && (link.flags & IFF_UP) != 0 &&
           (link.flags & IFF_RUNNING) != 0;
}

bool isDefaultUnicast(const NetRoute& route) {
    return (route.family == AF_INET || route.family == AF_INET6) && route.dstLength == 0 &&
           route.type == RTN_UNICAST && route.table != RT_TABLE_LOCAL;
}

// Walks the attributes following a fixed header of `headerSize` bytes in `msg`.
template <class F> void forEachAttribute(const nlmsghdr* msg, std::size_t headerSize, F&& f) {
    const std::size_t offset = NLMSG_SPACE(headerSize);
    if (msg->nlmsg_len < offset) {
        return;
    }
    auto* rta = reinterpret_cast<const rtattr*>(reinterpret_cast<const char*>(msg) + offset);
    int remaining = static_cast<int>(msg->nlmsg_len - offset);
    for (; RTA_OK(rta, remaining); rta = RTA_NEXT(rta, remaining)) {
        f(rta->rta_type, RTA_DATA(rta), static_cast<std::size_t>(RTA_PAYLOAD(rta)));
    }
}

template <class T> bool readScalar(const void* data, std::size_t size, T& out) {
    if (size < sizeof(T)) {
        return false;
    }
    std::memcpy(&out, data, sizeof(T));
    return true;
}

void parseLink(const nlmsghdr* msg, std::vector<NetLink>& links) {
    if (msg->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) {
        return;
    }
    ifinfomsg info;
    std::memcpy(&info, NLMSG_DATA(msg), sizeof info);
    NetLink link;
    link.index = info.ifi_index;
    link.flags = info.ifi_flags;
    forEachAttribute(msg, sizeof(ifinfomsg),
                     [&](unsigned type, const void* data, std::size_t size) {
                         if (type == IFLA_IFNAME) {
                             auto* text = static_cast<const char*>(data);
                             link.name.assign(text, strnlen(text, size));
                         }
                     });
    links.push_back(std::move(link));
}

void parseRoute(const nlmsghdr* msg, std::vector<NetRoute>& routes) {
    if (msg->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) {
        return;
    }
    rtmsg rt;
    std::memcpy(&rt, NLMSG_DATA(msg), sizeof rt);
    NetRoute route;
    route.family = rt.rtm_family;
    route.dstLength = rt.rtm_dst_len;
    route.table = rt.rtm_table;
    route.type = rt.rtm_type;
    forEachAttribute(msg, sizeof(rtmsg), [&](unsigned type, const void* data, std::size_t size) {
        if (type == RTA_TABLE) {
            readScalar(data, size, route.table);
        } else if (type == RTA_OIF) {
            readScalar(data, size, route.outputInterface);
        }
    });
    routes.push_back(route);
}

} // namespace

bool isNetworkReachable(const std::vector<NetLink>& links, const std::vector<NetRoute>& routes) {
    const bool anyUsable = std::any_of(links.begin(), links.end(), usable);
    for (const auto& route : routes) {
        if (!isDefaultUnicast(route)) {
            continue;
        }
        if (route.outputInterface == 0) {
            if (anyUsable) {
                return true;
            }
            continue;
        }
        auto link = std::find_if(links.begin(), links.end(), [&](const NetLink& l) {
            return l.index == route.outputInterface;
        });
        if (link != links.end() && usable(*link)) {
            return true;
        }
    }
    return false;
}

DumpProgress parseRouteDump(const void* data, std::size_t length, std::uint32_t seq,
                            std::vector<NetLink>& links, std::vector<NetRoute>& routes) {
    if (reinterpret_cast<std::uintptr_t>(data) % NLMSG_ALIGNTO != 0) {
        return DumpProgress::failed;
    }
    auto* bytes = static_cast<const char*>(data);
    std::size_t offset = 0;
    // Each length is checked against what is left before anything is read through it.
    while (length - offset >= sizeof(nlmsghdr)) {
        auto* msg = reinterpret_cast<const nlmsghdr*>(bytes + offset);
        if (msg->nlmsg_len < sizeof(nlmsghdr) || msg->nlmsg_len > length - offset) {
            return DumpProgress::failed;
        }
        offset = std::min<std::size_t>(length, offset + NLMSG_ALIGN(msg->nlmsg_len));
        if (msg->nlmsg_seq != seq) {
            continue;
        }
        if (msg->nlmsg_flags & NLM_F_DUMP_INTR) {
            return DumpProgress::failed;
        }
        switch (msg->nlmsg_type) {
        case NLMSG_DONE:
            return DumpProgress::done;
        case NLMSG_ERROR:
            return DumpProgress::failed;
        case RTM_NEWLINK:
            parseLink(msg, links);
            break;
        case RTM_NEWROUTE:
            parseRoute(msg, routes);
            break;
        default:
            break;
        }
    }
    // Trailing bytes that don't form a header mean the buffer was cut short.
    return offset == length ? DumpProgress::more : DumpProgress::failed;
}

} // namespace ombrix
