// pedsim-traits: true breeding values and records along a pedigree. Reads
// the options and runs; run_program turns a failure into one line on
// standard error and its exit status.
#include <vector>

#include "shell/program_main.h"
#include "traits/options.h"
#include "traits/traits_program.h"

int main(int argc, char** argv)
{
    using namespace pedsim;
    return shell::run_program({"pedsim-traits: "}, [&](shell::ClosedStreams closed) {
        const std::vector<const char*> arguments(argv + 1, argv + argc);
        traits::Options options = traits::read_options(arguments);
        options.standard_output_closed = closed.output;
        options.standard_error_closed = closed.error;
        traits::run_traits(options);
        return ExitStatus::success;
    });
}
