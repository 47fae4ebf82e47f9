// Progress of one stage of the analysis, passed on to the caller's report
// about a hundred times at most: at the start, at each further hundredth
// done, and at the end. An empty report is never called.
#pragma once

#include <cstddef>
#include <string_view>

#include "shell/progress.h"

namespace pedsim::shell {

class StageProgress {
public:
    StageProgress(const shell::ProgressReport& report, std::string_view stage);
    StageProgress(const StageProgress&) = delete;
    StageProgress& operator=(const StageProgress&) = delete;
    ~StageProgress();

    // Reports that `done` of `total` parts are finished (total > 0).
    void update(std::size_t done, std::size_t total);

private:
    const shell::ProgressReport& report_;
    std::string_view stage_;
    double next_report_ = 0;
};

}  // namespace pedsim::shell
