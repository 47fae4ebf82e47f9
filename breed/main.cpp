// pedsim-breed: a breeding program run generation by generation. Reads the
// options and runs; run_program turns a failure into one line on standard
// error and its exit status.
#include <vector>

#include "breed/breed_program.h"
#include "breed/options.h"
#include "common/program_main.h"

int main(int argc, char** argv)
{
    return pedsim::run_program("pedsim-breed", [&](pedsim::ClosedStreams closed) {
        const std::vector<const char*> arguments(argv + 1, argv + argc);
        pedsim::breed::Options options = pedsim::breed::read_options(arguments);
        options.standard_output_closed = closed.output;
        options.standard_error_closed = closed.error;
        pedsim::breed::run_breed(options);
    });
}
