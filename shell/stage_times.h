// The time of each stage of a run, for the benchmarks: when on, each stage's
// name, wall seconds and CPU seconds (all threads) go to standard error as
// "PROGRAM: time of STAGE: W.WWW s, CPU C.CCC s" as the next stage starts and
// when the run ends. Work done apart from the stages (beside them, on a
// thread of its own) has a line of its own, "PROGRAM: time of WORK: W.WWW s,
// CPU C.CCC s" with the CPU seconds of that work's thread alone, printed when
// the thread that ran the stages hands its time over.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "shell/progress.h"

namespace pedsim::shell {

// The seconds some work took: on the wall clock, and of CPU.
struct WorkTime {
    double wall = 0;
    double cpu = 0;
};

// Times work from its construction: the wall clock, and the CPU time of the
// thread that made it (of that thread alone, not the process's).
class WorkClock {
public:
    WorkClock();
    // The time since construction; called on the thread that made it.
    WorkTime elapsed() const;

private:
    std::chrono::steady_clock::time_point started_;
    double started_cpu_ = 0;
};

// Hands over the time of work done apart from the stages: its name in words
// and its time.
using WorkTimeReport = std::function<void(std::string_view work, WorkTime time)>;

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

    // Prints the line of `work`, done apart from the stages, at once; the
    // stage running, if any, goes on.
    void add(std::string_view work, WorkTime time);

    // A WorkTimeReport that calls add(): to be called on the thread that
    // runs the stages, like every member here.
    WorkTimeReport work_times();

private:
    const bool on_;
    const std::string program_;
    std::string stage_;  // the stage running; empty when none
    std::chrono::steady_clock::time_point started_;
    double started_cpu_ = 0;
};

}  // namespace pedsim::shell
