#include "core/NetworkMonitor.h"

#include "core/NetworkStatus.h"
#include "core/SerialQueue.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace ombrix {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

int openRouteSocket(unsigned groups) {
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        return -1;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Only the kernel speaks for the routing tables; anything else on our port is ignored.
ssize_t receiveFromKernel(int fd, void* buffer, std::size_t size, int flags, bool& fromKernel) {
    sockaddr_nl peer{};
    iovec iov{buffer, size};
    msghdr msg{};
    msg.msg_name = &peer;
    msg.msg_namelen = sizeof peer;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n;
    do {
        n = ::recvmsg(fd, &msg, flags);
    } while (n < 0 && errno == EINTR);
    fromKernel = n >= 0 && msg.msg_namelen == sizeof peer && peer.nl_pid == 0 &&
                 (msg.msg_flags & MSG_TRUNC) == 0;
    return n;
}

constexpr std::size_t kBufferSize = 64 * 1024;

} // namespace

struct NetworkMonitor::State {
    Observable<bool> isConnected{true};
};

struct NetworkMonitor::Watcher {
    Watcher(std::weak_ptr<State> state, std::shared_ptr<Executor> mainQueue)
        : state(std::move(state)), mainQueue(std::move(mainQueue)),
          stopEvent(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          changes(openRouteSocket(RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR |
                                  RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE)),
          dumps(openRouteSocket(0)), buffer(kBufferSize), queue(kQueueLabel) {
        if (dumps.valid()) {
            // A kernel that never answers must not hold the thread (and a destructor) forever.
            timeval timeout{5, 0};
            ::setsockopt(dumps.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        }
        queue.post([this] { run(); });
    }

    ~Watcher() {
        if (stopEvent.valid()) {
            std::uint64_t one = 1;
            [[maybe_unused]] auto n = ::write(stopEvent.get(), &one, sizeof one);
        }
        // The queue member goes first and joins the thread before the sockets close.
    }

    void run() {
        if (!stopEvent.valid()) {
            return;
        }
        update();
        for (;;) {
            pollfd fds[2] = {{stopEvent.get(), POLLIN, 0}, {changes.get(), POLLIN, 0}};
            const nfds_t count = changes.valid() ? 2 : 1;
            int ready = ::poll(fds, count, -1);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (fds[0].revents != 0) {
                return;
            }
            if (count == 2 && fds[1].revents != 0 && drainChanges()) {
                update();
            }
        }
    }

    // Reads every queued change notification; true when the status must be recomputed.
    bool drainChanges() {
        bool changed = false;
        for (;;) {
            bool fromKernel = false;
            ssize_t n = receiveFromKernel(changes.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                          fromKernel);
            if (n < 0) {
                if (errno == ENOBUFS) {
                    changed = true; // notifications were lost: assume something changed
                    continue;
                }
                return changed;
            }
            changed = changed || fromKernel;
        }
    }

    bool dump(std::uint16_t type, std::vector<NetLink>& links, std::vector<NetRoute>& routes) {
        struct {
            nlmsghdr header;
            union {
                ifinfomsg link;
                rtmsg route;
            } body;
        } request{};
        const std::uint32_t seq = ++sequence;
        const std::size_t bodySize = type == RTM_GETLINK ? sizeof(ifinfomsg) : sizeof(rtmsg);
        request.header.nlmsg_len = NLMSG_LENGTH(bodySize);
        request.header.nlmsg_type = type;
        request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        request.header.nlmsg_seq = seq;
        // Family AF_UNSPEC (zero) asks for every family.
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(dumps.get(), &request, request.header.nlmsg_len, 0,
                     reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
            return false;
        }
        for (;;) {
            bool fromKernel = false;
            ssize_t n = receiveFromKernel(dumps.get(), buffer.data(), buffer.size(), 0, fromKernel);
            if (n < 0) {
                return false;
            }
            if (!fromKernel) {
                continue;
            }
            switch (
                parseRouteDump(buffer.data(), static_cast<std::size_t>(n), seq, links, routes)) {
            case DumpProgress::done:
                return true;
            case DumpProgress::failed:
                return false;
            case DumpProgress::more:
                break;
            }
        }
    }

    std::optional<bool> compute() {
        // An interrupted dump is retried a few times; after that the status stays as it was.
        for (int attempt = 0; attempt < 3; ++attempt) {
            std::vector<NetLink> links;
            std::vector<NetRoute> routes;
            if (dump(RTM_GETLINK, links, routes) && dump(RTM_GETROUTE, links, routes)) {
                return isNetworkReachable(links, routes);
            }
        }
        return std::nullopt;
    }

    void update() {
        if (!dumps.valid()) {
            return;
        }
        auto connected = compute();
        if (!connected) {
            return;
        }
        auto target = mainQueue ? mainQueue : mainQueuePtr();
        target->post([state = state, value = *connected] {
            if (auto alive = state.lock()) {
                alive->isConnected.set(value);
            }
        });
    }

    std::weak_ptr<State> state;
    std::shared_ptr<Executor> mainQueue;
    FileDescriptor stopEvent;
    FileDescriptor changes;
    FileDescriptor dumps;
    std::vector<char> buffer;
    std::uint32_t sequence = 0;
    SerialQueue queue; // last: destroyed, and so joined, first
};

namespace {
NetworkMonitor* gShared = nullptr;
}

NetworkMonitor& NetworkMonitor::shared() {
    static NetworkMonitor* const instance = [] {
        // The watcher posts through the process main queue, a static that exit destroys.
        // Making it first and registering the stop after it means exit joins the watcher
        // thread before that queue (or the clock it holds) goes away.
        mainQueuePtr();
        gShared = new NetworkMonitor();
        std::atexit([] { gShared->watcher_.reset(); });
        return gShared;
    }();
    return *instance;
}

NetworkMonitor::NetworkMonitor(std::shared_ptr<Executor> mainQueue)
    : state_(std::make_shared<State>()),
      watcher_(std::make_unique<Watcher>(state_, std::move(mainQueue))) {}

NetworkMonitor::~NetworkMonitor() = default;

Observable<bool>& NetworkMonitor::isConnected() {
    return state_->isConnected;
}

const Observable<bool>& NetworkMonitor::isConnected() const {
    return state_->isConnected;
}

} // namespace ombrix
