// The time of each stage of a run, for the benchmarks: when on, each stage's
// name, wall seconds and CPU seconds (all threads) go to standard error as
// "PROGRAM: time of STAGE: W.WWW s, CPU C.CCC s" as the next stage starts and
// when the run ends.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "shell/progress.h"

namespace pedsim::shell {

class StageTimes {
public:
    // `on`: whether to print at all; `program` names the program in the lines.
    StageTimes(bool on, std::string_view program);
    StageTimes(const StageTimes&) = delete;
    StageTimes& operator=(const StageTimes&) = delete;
    // Ends the stage running, if any.
    ~StageTimes();

    // Ends the stage running, if any, and starts `stage` unless it is the
    // stage running already.
    void start(std::string_view stage);

    // Ends the stage running, if any.
    void finish();

    // A ProgressReport that starts each stage it is told of, then calls
    // `report`.
    ProgressReport timing(const ProgressReport& report);

private:
    const bool on_;
    const std::string program_;
    std::string stage_;  // the stage running; empty when none
    std::chrono::steady_clock::time_point started_;
    double started_cpu_ = 0;
};

}  // namespace pedsim::shell
