#include "shell/stage_times.h"

#include <cstdio>
#include <ctime>

namespace pedsim::shell {

namespace {

// Seconds of CPU the process has used, all its threads together.
double process_seconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

StageTimes::StageTimes(bool on, std::string_view program) : on_(on), program_(program) {}

StageTimes::~StageTimes() { finish(); }

void StageTimes::start(std::string_view stage)
{
    if (!on_ || stage == stage_) return;
    finish();
    stage_ = stage;
    started_ = std::chrono::steady_clock::now();
    started_cpu_ = process_seconds();
}

void StageTimes::finish()
{
    if (stage_.empty()) return;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started_;
    // One write per line, so that lines of several runs never interleave.
    std::fprintf(stderr, "%s: time of %s: %.3f s, CPU %.3f s\n", program_.c_str(), stage_.c_str(),
                 took.count(), process_seconds() - started_cpu_);
    stage_.clear();
}

ProgressReport StageTimes::timing(const ProgressReport& report)
{
    return [this, report](std::string_view stage, double done) {
        start(stage);
        if (report) report(stage, done);
    };
}

}  // namespace pedsim::shell
