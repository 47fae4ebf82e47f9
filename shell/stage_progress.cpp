#include "shell/stage_progress.h"

namespace pedsim::shell {

namespace {
constexpr double reporting_step = 0.01;
}

StageProgress::StageProgress(const shell::ProgressReport& report, std::string_view stage)
    : report_(report), stage_(stage)
{
    update(0, 1);
}

StageProgress::~StageProgress() { update(1, 1); }

void StageProgress::update(std::size_t done, std::size_t total)
{
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    if (!report_ || (fraction < next_report_ && fraction < 1) || next_report_ > 1) return;
    report_(stage_, fraction);
    next_report_ = fraction < 1 ? fraction + reporting_step : 2;
}

}  // namespace pedsim::shell
