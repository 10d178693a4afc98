#include "core/NetworkMonitor.h"

#include "core/NetworkStatus.h"
#include "core/RunLoop.h"

#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <mutex>
#include <net/if.h>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

using namespace ombrix;

namespace {

constexpr unsigned kUpRunning = IFF_UP | IFF_RUNNING;

NetRoute defaultRoute(int oif, std::uint8_t family = AF_INET) {
    NetRoute r;
    r.family = family;
    r.table = RT_TABLE_MAIN;
    r.type = RTN_UNICAST;
    r.outputInterface = oif;
    return r;
}

// Lays out route-netlink messages the way the kernel does.
class DumpBuilder {
public:
    DumpBuilder& link(std::uint32_t seq, int index, unsigned flags, const std::string& name) {
        ifinfomsg info{};
        info.ifi_index = index;
        info.ifi_flags = flags;
        begin(RTM_NEWLINK, seq, &info, sizeof info);
        attribute(IFLA_IFNAME, name.c_str(), name.size() + 1);
        return end();
    }
    DumpBuilder& route(std::uint32_t seq, std::uint8_t dstLen, std::uint32_t table, int oif) {
        rtmsg rt{};
        rt.rtm_family = AF_INET;
        rt.rtm_dst_len = dstLen;
        rt.rtm_table = RT_TABLE_COMPAT; // the real table is in RTA_TABLE
        rt.rtm_type = RTN_UNICAST;
        begin(RTM_NEWROUTE, seq, &rt, sizeof rt);
        attribute(RTA_TABLE, &table, sizeof table);
        attribute(RTA_OIF, &oif, sizeof oif);
        return end();
    }
    DumpBuilder& control(std::uint16_t type, std::uint32_t seq, std::uint16_t flags = 0) {
        int status = 0;
        begin(type, seq, &status, sizeof status);
        header().nlmsg_flags = flags;
        return end();
    }

    nlmsghdr& header() { return *reinterpret_cast<nlmsghdr*>(bytes_.data() + start_); }
    rtattr& lastAttribute() { return *reinterpret_cast<rtattr*>(bytes_.data() + lastAttr_); }
    const void* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

private:
    void begin(std::uint16_t type, std::uint32_t seq, const void* body, std::size_t len) {
        start_ = bytes_.size();
        nlmsghdr h{};
        h.nlmsg_type = type;
        h.nlmsg_seq = seq;
        append(&h, sizeof h);
        append(body, len);
        pad();
    }
    void attribute(unsigned short type, const void* payload, std::size_t len) {
        lastAttr_ = bytes_.size();
        rtattr a{};
        a.rta_type = type;
        a.rta_len = static_cast<unsigned short>(RTA_LENGTH(len));
        append(&a, sizeof a);
        append(payload, len);
        pad();
    }
    DumpBuilder& end() {
        header().nlmsg_len = static_cast<std::uint32_t>(bytes_.size() - start_);
        return *this;
    }
    void append(const void* p, std::size_t n) {
        auto* src = static_cast<const char*>(p);
        bytes_.insert(bytes_.end(), src, src + n);
    }
    void pad() { bytes_.resize(start_ + NLMSG_ALIGN(bytes_.size() - start_)); }

    std::size_t start_ = 0;
    std::size_t lastAttr_ = 0;
    std::vector<char> bytes_;
};

struct Parsed {
    DumpProgress progress;
    std::vector<NetLink> links;
    std::vector<NetRoute> routes;
};

Parsed parse(const DumpBuilder& b, std::uint32_t seq, std::size_t length = SIZE_MAX) {
    Parsed p;
    p.progress = parseRouteDump(b.data(), std::min(length, b.size()), seq, p.links, p.routes);
    return p;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The same question answered from /sys and /proc instead of netlink. /proc/net/route
// only shows the main table, which is where this machine keeps its default route.
bool reachableFromProcfs() {
    auto usable = [](const std::string& name) {
        const std::filesystem::path dir = std::filesystem::path("/sys/class/net") / name;
        const unsigned flags = std::stoul(readFile(dir / "flags"), nullptr, 16);
        std::string oper = readFile(dir / "operstate");
        oper = oper.substr(0, oper.find('\n'));
        // The kernel reports IFF_RUNNING for operational states up and unknown.
        return (flags & IFF_LOOPBACK) == 0 && (flags & IFF_UP) != 0 &&
               (oper == "up" || oper == "unknown");
    };
    constexpr unsigned kRtfUp = 0x1;
    constexpr unsigned kRtfReject = 0x200;
    std::istringstream v4(readFile("/proc/net/route"));
    std::string line;
    std::getline(v4, line); // header
    while (std::getline(v4, line)) {
        std::istringstream row(line);
        std::string iface, dest, gateway, flags, refcnt, use, metric, mask;
        row >> iface >> dest >> gateway >> flags >> refcnt >> use >> metric >> mask;
        const unsigned f = std::stoul(flags, nullptr, 16);
        if (dest == "00000000" && mask == "00000000" && (f & kRtfUp) && !(f & kRtfReject) &&
            usable(iface)) {
            return true;
        }
    }
    std::istringstream v6(readFile("/proc/net/ipv6_route"));
    while (std::getline(v6, line)) {
        std::istringstream row(line);
        std::string dest, destLen, src, srcLen, nextHop, metric, refcnt, use, flags, iface;
        row >> dest >> destLen >> src >> srcLen >> nextHop >> metric >> refcnt >> use >> flags >>
            iface;
        if (iface.empty()) {
            continue;
        }
        const unsigned f = std::stoul(flags, nullptr, 16);
        if (destLen == "00" && (f & kRtfUp) && !(f & kRtfReject) && usable(iface)) {
            return true;
        }
    }
    return false;
}

// A main queue that keeps posted jobs until the test runs them, and says when one came.
class HeldQueue final : public Executor {
public:
    void post(Job job) override {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_all();
    }
    void postAfter(Duration, Job job) override { post(std::move(job)); }

    bool waitForJob() {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return !jobs_.empty(); });
    }
    std::size_t runAll() {
        std::vector<Job> jobs;
        {
            std::lock_guard lock(mutex_);
            jobs.swap(jobs_);
        }
        for (auto& job : jobs) {
            job();
        }
        return jobs.size();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Job> jobs_;
};

} // namespace

TEST(NetworkStatus, NeedsADefaultRouteThroughAnUsableLink) {
    const std::vector<NetLink> links{
        {1, "lo", IFF_LOOPBACK | kUpRunning}, {2, "eth0", kUpRunning}, {3, "wlan0", IFF_UP}};

    EXPECT_TRUE(isNetworkReachable(links, {defaultRoute(2)}));
    EXPECT_TRUE(isNetworkReachable(links, {defaultRoute(2, AF_INET6)}));
    EXPECT_FALSE(isNetworkReachable(links, {})) << "no route at all";
    EXPECT_FALSE(isNetworkReachable({}, {defaultRoute(2)})) << "no links";
    EXPECT_FALSE(isNetworkReachable(links, {defaultRoute(1)})) << "through loopback";
    EXPECT_FALSE(isNetworkReachable(links, {defaultRoute(3)})) << "up but not running";
    EXPECT_FALSE(isNetworkReachable(links, {defaultRoute(9)})) << "unknown link";

    auto subnet = defaultRoute(2);
    subnet.dstLength = 24;
    EXPECT_FALSE(isNetworkReachable(links, {subnet}));
    auto unreachable = defaultRoute(2, AF_INET6);
    unreachable.type = RTN_UNREACHABLE;
    EXPECT_FALSE(isNetworkReachable(links, {unreachable}));
    auto local = defaultRoute(2);
    local.table = RT_TABLE_LOCAL;
    EXPECT_FALSE(isNetworkReachable(links, {local}));
    auto policy = defaultRoute(2);
    policy.table = 51820;
    EXPECT_TRUE(isNetworkReachable(links, {policy}));
    auto other = defaultRoute(2);
    other.family = AF_BRIDGE;
    EXPECT_FALSE(isNetworkReachable(links, {other}));

    // Multipath: no single output interface, any usable link will do.
    EXPECT_TRUE(isNetworkReachable(links, {defaultRoute(0)}));
    EXPECT_FALSE(isNetworkReachable({links[0], links[2]}, {defaultRoute(0)}));
}

TEST(NetworkStatus, ParsesLinksAndRoutesOfItsOwnDump) {
    DumpBuilder b;
    b.link(7, 1, IFF_LOOPBACK | kUpRunning, "lo")
        .link(6, 5, kUpRunning, "stale") // another request's answer
        .link(7, 2, kUpRunning, "eth0")
        .route(7, 0, 254, 2)
        .route(7, 24, 254, 2);
    auto p = parse(b, 7);
    EXPECT_EQ(p.progress, DumpProgress::more);
    ASSERT_EQ(p.links.size(), 2u);
    EXPECT_EQ(p.links[1].name, "eth0");
    EXPECT_EQ(p.links[1].index, 2);
    EXPECT_EQ(p.links[1].flags, kUpRunning);
    ASSERT_EQ(p.routes.size(), 2u);
    EXPECT_EQ(p.routes[0].table, 254u);
    EXPECT_EQ(p.routes[0].outputInterface, 2);
    EXPECT_EQ(p.routes[1].dstLength, 24);
    EXPECT_TRUE(isNetworkReachable(p.links, p.routes));

    b.control(NLMSG_DONE, 7);
    EXPECT_EQ(parse(b, 7).progress, DumpProgress::done);
}

TEST(NetworkStatus, RejectsErrorsInterruptedDumpsAndMalformedBuffers) {
    EXPECT_EQ(parse(DumpBuilder().control(NLMSG_ERROR, 3), 3).progress, DumpProgress::failed);
    EXPECT_EQ(parse(DumpBuilder().control(NLMSG_DONE, 3, NLM_F_DUMP_INTR), 3).progress,
              DumpProgress::failed);

    DumpBuilder whole;
    whole.link(3, 2, kUpRunning, "eth0");
    // Cut inside the message, and inside the next header.
    EXPECT_EQ(parse(whole, 3, whole.size() - 4).progress, DumpProgress::failed);
    DumpBuilder two;
    two.link(3, 2, kUpRunning, "eth0").link(3, 3, kUpRunning, "eth1");
    auto cut = parse(two, 3, whole.size() + 8);
    EXPECT_EQ(cut.progress, DumpProgress::failed);
    EXPECT_EQ(cut.links.size(), 1u);

    DumpBuilder tooLong;
    tooLong.link(3, 2, kUpRunning, "eth0");
    tooLong.header().nlmsg_len += 64;
    EXPECT_EQ(parse(tooLong, 3).progress, DumpProgress::failed);

    DumpBuilder tooShort;
    tooShort.link(3, 2, kUpRunning, "eth0");
    tooShort.header().nlmsg_len = 4;
    EXPECT_EQ(parse(tooShort, 3).progress, DumpProgress::failed);

    // An attribute claiming more than its message holds is ignored, not read past the end.
    DumpBuilder badAttr;
    badAttr.link(3, 2, kUpRunning, "eth0");
    badAttr.lastAttribute().rta_len = 0xfff0;
    auto p = parse(badAttr, 3);
    EXPECT_EQ(p.progress, DumpProgress::more);
    ASSERT_EQ(p.links.size(), 1u);
    EXPECT_EQ(p.links[0].name, "");

    // A route attribute too small for its value leaves the field alone.
    DumpBuilder shortOif;
    shortOif.route(3, 0, 254, 2);
    shortOif.lastAttribute().rta_len = RTA_LENGTH(2);
    auto r = parse(shortOif, 3);
    ASSERT_EQ(r.routes.size(), 1u);
    EXPECT_EQ(r.routes[0].outputInterface, 0);

    // A link name without its terminating NUL stays inside its attribute.
    DumpBuilder unterminated;
    unterminated.link(3, 2, kUpRunning, "eth0");
    unterminated.lastAttribute().rta_len = RTA_LENGTH(3);
    auto u = parse(unterminated, 3);
    ASSERT_EQ(u.links.size(), 1u);
    EXPECT_EQ(u.links[0].name, "eth");
}

TEST(NetworkMonitor, PostsTheStatusOfThisMachine) {
    const bool expected = reachableFromProcfs();
    auto loop = std::make_shared<RunLoop>();
    NetworkMonitor monitor(loop);
    EXPECT_TRUE(monitor.isConnected().get()); // before any update

    int updates = 0;
    auto token = monitor.isConnected().observe([&](const bool&) { ++updates; });
    ASSERT_TRUE(loop->runUntil([&] { return updates > 0; }, std::chrono::seconds(10)));
    EXPECT_EQ(monitor.isConnected().get(), expected);
}

TEST(NetworkMonitor, UpdateArrivingAfterTheMonitorIsGoneIsHarmless) {
    auto queue = std::make_shared<HeldQueue>();
    Cancellable token;
    int updates = 0;
    {
        NetworkMonitor monitor(queue);
        token = monitor.isConnected().observe([&](const bool&) { ++updates; });
        ASSERT_TRUE(queue->waitForJob());
    }
    EXPECT_GE(queue->runAll(), 1u);
    EXPECT_EQ(updates, 0);
    token.cancel();
}

TEST(NetworkMonitor, FollowsLinkAndRouteChangesInAPrivateNetworkNamespace) {
    // unshare() moves only the calling thread; the watcher thread it then starts and the
    // `ip` commands it runs inherit the new namespace, so the host's network is untouched.
    std::string skipped;
    std::thread scenario([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            skipped = "no permission for a private network namespace";
            return;
        }
        auto loop = std::make_shared<RunLoop>();
        NetworkMonitor monitor(loop);
        std::vector<bool> seen;
        auto token = monitor.isConnected().observe([&](const bool& v) { seen.push_back(v); });
        auto settlesAt = [&](bool value) {
            return loop->runUntil([&] { return !seen.empty() && seen.back() == value; },
                                  std::chrono::seconds(20));
        };
        EXPECT_TRUE(settlesAt(false)) << "a fresh namespace has nothing but loopback";

        if (std::system("ip link add ombrix0 type veth peer name ombrix1 && "
                        "ip link set ombrix1 up && ip link set ombrix0 up") != 0) {
            skipped = "cannot create a veth pair";
            return;
        }
        EXPECT_TRUE(settlesAt(false)) << "links up, but no default route yet";
        ASSERT_EQ(std::system("ip route add default dev ombrix0"), 0);
        EXPECT_TRUE(settlesAt(true));

        // The peer going down takes the carrier away; the route stays but leads nowhere.
        ASSERT_EQ(std::system("ip link set ombrix1 down"), 0);
        EXPECT_TRUE(settlesAt(false));
        ASSERT_EQ(std::system("ip link set ombrix1 up"), 0);
        EXPECT_TRUE(settlesAt(true));

        ASSERT_EQ(std::system("ip route del default"), 0);
        EXPECT_TRUE(settlesAt(false));
    });
    scenario.join();
    if (!skipped.empty()) {
        GTEST_SKIP() << skipped;
    }
}
