// pedsim-breed: a breeding program run generation by generation. Reads the
// options and runs; run_program turns a failure into one line on standard
// error and its exit status.
#include "breed/breed_program.h"
#include "breed/options.h"
#include "shell/program_main.h"

int main(int argc, char** argv)
{
    using namespace pedsim;
    return shell::command_line_main("pedsim-breed", argc, argv, breed::read_options,
                                    breed::run_breed);
}
