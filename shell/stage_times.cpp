#include "shell/stage_times.h"

#include <cstdio>
#include <ctime>

namespace pedsim::shell {

namespace {

// Seconds of CPU used by what `clock` measures (the process, all its threads
// together, or the calling thread alone).
double cpu_seconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double process_seconds() { return cpu_seconds(CLOCK_PROCESS_CPUTIME_ID); }

double thread_seconds() { return cpu_seconds(CLOCK_THREAD_CPUTIME_ID); }

// One write per line, so that lines of several runs never interleave.
void print_time(const std::string& program, std::string_view work, WorkTime time)
{
    std::fprintf(stderr, "%s: time of %.*s: %.3f s, CPU %.3f s\n", program.c_str(),
                 static_cast<int>(work.size()), work.data(), time.wall, time.cpu);
}

}  // namespace

WorkClock::WorkClock() : started_(std::chrono::steady_clock::now()), started_cpu_(thread_seconds())
{}

WorkTime WorkClock::elapsed() const
{
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started_;
    return {took.count(), thread_seconds() - started_cpu_};
}

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
    print_time(program_, stage_, {took.count(), process_seconds() - started_cpu_});
    stage_.clear();
}

ProgressReport StageTimes::timing(const ProgressReport& report)
{
    return [this, report](std::string_view stage, double done) {
        start(stage);
        if (report) report(stage, done);
    };
}

void StageTimes::add(std::string_view work, WorkTime time)
{
    if (on_) print_time(program_, work, time);
}

WorkTimeReport StageTimes::work_times()
{
    return [this](std::string_view work, WorkTime time) { add(work, time); };
}

}  // namespace pedsim::shell
