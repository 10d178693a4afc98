#pragma once

#include <csignal>
#include <sys/resource.h>

namespace ombrix::testing {

// Lowers this process's file-size limit so writes beyond `bytes` fail with EFBIG, as on a
// full disk, while the object lives. Root ignores permission bits, not this limit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        handler_ = std::signal(SIGXFSZ, SIG_IGN); // EFBIG instead of a signal
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*handler_)(int) = nullptr;
};

} // namespace ombrix::testing
