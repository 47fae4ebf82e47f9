// pedsim-traits: true breeding values and records along a pedigree. Reads
// the options and runs; run_program turns a failure into one line on
// standard error and its exit status.
#include "shell/program_main.h"
#include "traits/options.h"
#include "traits/traits_program.h"

int main(int argc, char** argv)
{
    using namespace pedsim;
    return shell::command_line_main("pedsim-traits", argc, argv, traits::read_options,
                                    traits::run_traits);
}
