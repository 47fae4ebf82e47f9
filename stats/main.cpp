// pedsim-stats: the inbreeding, coancestry and effective size of a pedigree,
// per generation. Reads the options and runs; run_program turns a failure
// into one line on standard error and its exit status.
#include <vector>

#include "shell/program_main.h"
#include "stats/options.h"
#include "stats/stats_program.h"

int main(int argc, char** argv)
{
    using namespace pedsim;
    return shell::run_program({"pedsim-stats: "}, [&](shell::ClosedStreams closed) {
        const std::vector<const char*> arguments(argv + 1, argv + argc);
        stats::Options options = stats::read_options(arguments);
        options.standard_output_closed = closed.output;
        stats::run_stats(options);
        return ExitStatus::success;
    });
}
