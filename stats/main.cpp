// pedsim-stats: the inbreeding, coancestry and effective size of a pedigree,
// per generation. Reads the options and runs; run_program turns a failure
// into one line on standard error and its exit status.
#include "shell/program_main.h"
#include "stats/options.h"
#include "stats/stats_program.h"

int main(int argc, char** argv)
{
    using namespace pedsim;
    return shell::command_line_main("pedsim-stats", argc, argv, stats::read_options,
                                    stats::run_stats);
}
