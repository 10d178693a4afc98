#pragma once

// Timing helpers shared by the benchmark programs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
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

} // namespace ombrix::bench
