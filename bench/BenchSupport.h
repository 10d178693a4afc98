#pragma once

// Timing helpers shared by the benchmark programs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ombrix::bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Median wall time of `runs` calls, in milliseconds.
inline double timeRuns(int runs, const std::function<void()>& work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    return median(ms);
}

// Runs a command with its output discarded and the given environment additions; false
// when it could not run or failed.
inline bool runQuiet(const std::vector<std::string>& argv,
                     const std::vector<std::pair<std::string, std::string>>& env = {}) {
    std::fflush(nullptr); // or the child would flush our buffered output a second time
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        for (const auto& [name, value] : env) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Median time of `runs` passes of the tesseract command line over a PNG drawn at 4× (288
// dpi), single-threaded and with the model, engine and dictionaries the extractor uses.
// Negative when the command could not run.
inline double timeTesseract(const std::string& png, const std::string& tessdata, int runs) {
    std::vector<std::string> command{"tesseract",
                                     png,
                                     "stdout",
                                     "--oem",
                                     "1",
                                     "-l",
                                     "eng",
                                     "--dpi",
                                     "288",
                                     "-c",
                                     "load_system_dawg=0",
                                     "-c",
                                     "load_freq_dawg=0"};
    if (!tessdata.empty()) {
        command.insert(command.begin() + 3, {"--tessdata-dir", tessdata});
    }
    bool ok = true;
    const double ms = timeRuns(runs, [&] {
        ok = runQuiet(command, {{"OMP_THREAD_LIMIT", "1"}}) && ok;
    });
    return ok ? ms : -1;
}

// What one child process took: wall time, peak resident memory and how it ended.
struct ProcessUsage {
    double ms = -1;
    long peakKiB = -1;
    int exitStatus = -1; // -1 when it did not exit normally (killed by a signal)
    std::string stderrText;
};

// Runs argv as a child process with the environment additions, its output discarded and
// its standard error kept.
inline ProcessUsage
measureProcess(const std::vector<std::string>& argv,
               const std::vector<std::pair<std::string, std::string>>& env = {}) {
    std::fflush(nullptr);
    char errPath[] = "/tmp/ombrix-bench-stderr-XXXXXX";
    const int errFd = mkstemp(errPath);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        if (errFd >= 0) {
            dup2(errFd, 2);
        }
        for (const auto& [name, value] : env) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ProcessUsage result;
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        result.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                        .count();
        result.peakKiB = usage.ru_maxrss;
        result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (errFd >= 0) {
        char buffer[4096];
        lseek(errFd, 0, SEEK_SET);
        for (ssize_t n; (n = read(errFd, buffer, sizeof buffer)) > 0;) {
            result.stderrText.append(buffer, std::size_t(n));
        }
        close(errFd);
        unlink(errPath);
    }
    return result;
}

} // namespace ombrix::bench
