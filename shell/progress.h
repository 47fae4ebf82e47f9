// The progress line of a long run: shown on standard error only when it is a
// terminal and the run has lasted more than about a second, rewritten in
// place ("\r"), and erased when the run ends.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace pedsim::shell {

// Reports progress: the stage in words and the fraction of it done, 0 .. 1.
using ProgressReport = std::function<void(std::string_view stage, double done)>;

class TerminalProgress {
public:
    // Starts the clock; looks once whether standard error is a terminal.
    // `program` names the program in the line: "pedsim-stats".
    explicit TerminalProgress(std::string_view program);
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;
    // Erases the line if one is shown.
    ~TerminalProgress();

    // Shows "PROGRAM: STAGE NN%" when the stage or the whole percent
    // changed. Like every object here, used by one thread: the analysis
    // reports its stages from the thread that called it, never from a worker.
    void report(std::string_view stage, double done);

    // A ProgressReport that calls report() on this object.
    ProgressReport callback();

    // Erases the line if one is shown.
    void erase();

private:
    const std::string program_;
    const bool terminal_;
    const std::chrono::steady_clock::time_point start_;
    std::string stage_;            // the stage shown
    int percent_ = 0;              // the percent shown
    std::size_t shown_width_ = 0;  // characters of the line shown; 0 when none
};

}  // namespace pedsim::shell
