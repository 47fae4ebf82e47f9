#include "common/stage_times.h"

#include <cstdio>

namespace pedsim {

StageTimes::StageTimes(bool on, std::string_view program) : on_(on), program_(program) {}

StageTimes::~StageTimes() { finish(); }

void StageTimes::start(std::string_view stage)
{
    if (!on_ || stage == stage_) return;
    finish();
    stage_ = stage;
    started_ = std::chrono::steady_clock::now();
}

void StageTimes::finish()
{
    if (stage_.empty()) return;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started_;
    // One write per line, so that lines of several runs never interleave.
    std::fprintf(stderr, "%s: time of %s: %.3f s\n", program_.c_str(), stage_.c_str(),
                 took.count());
    stage_.clear();
}

ProgressReport StageTimes::timing(const ProgressReport& report)
{
    return [this, report](std::string_view stage, double done) {
        start(stage);
        if (report) report(stage, done);
    };
}

}  // namespace pedsim
