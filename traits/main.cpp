// pedsim-traits: true breeding values and records along a pedigree. Reads
// the options, runs, and turns a failure into one line on standard error and
// its exit status.
#include <iostream>
#include <new>
#include <vector>

#include "common/failure.h"
#include "common/process_setup.h"
#include "options.h"
#include "traits_program.h"

int main(int argc, char** argv)
{
    const bool output_closed = pedsim::standard_output_closed();
    // A closed standard descriptor must not become an output file, and a
    // closed pipe or a file size limit is a write error to report.
    pedsim::prepare_process();
    try {
        const std::vector<const char*> arguments(argv + 1, argv + argc);
        pedsim::traits::Options options = pedsim::traits::read_options(arguments);
        options.standard_output_closed = output_closed;
        pedsim::traits::run_traits(options);
        return 0;
    } catch (const pedsim::Failure& failure) {
        std::cerr << "pedsim-traits: " << failure.what() << '\n';
        return static_cast<int>(failure.status());
    } catch (const std::bad_alloc&) {
        std::cerr << "pedsim-traits: out of memory\n";
        return static_cast<int>(pedsim::ExitStatus::out_of_memory);
    }
}
