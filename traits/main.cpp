// pedsim-traits: true breeding values and records along a pedigree. Reads
// the options and runs; run_program turns a failure into one line on
// standard error and its exit status.
#include <vector>

#include "common/program_main.h"
#include "traits/options.h"
#include "traits/traits_program.h"

int main(int argc, char** argv)
{
    return pedsim::run_program("pedsim-traits", [&](pedsim::ClosedStreams closed) {
        const std::vector<const char*> arguments(argv + 1, argv + argc);
        pedsim::traits::Options options = pedsim::traits::read_options(arguments);
        options.standard_output_closed = closed.output;
        options.standard_error_closed = closed.error;
        pedsim::traits::run_traits(options);
    });
}
