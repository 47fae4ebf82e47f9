// The frame of every program's main(): the process prepared, the program run,
// and a failure turned into one line on standard error and its exit status.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/exit_status.h"
#include "shell/process_setup.h"

namespace pedsim::shell {

// How a program words the line of a failure on standard error: the prefix
// before every failure's message ("pedsim-stats: ", or none for pedsim,
// whose messages stand alone), and the message of an allocation that fails.
struct FailureVoice {
    std::string_view prefix;
    std::string_view out_of_memory = "out of memory";
};

// Notes which standard streams are closed (closed_streams), prepares the
// process (prepare_process), then calls run with them.
// Returns the status run returns; prints "PREFIX MESSAGE" for a Failure and
// returns its status, and "PREFIX OUT_OF_MEMORY" with status out_of_memory
// for a bad_alloc.
int run_program(const FailureVoice& voice,
                const std::function<common::ExitStatus(ClosedStreams)>& run);

// The main() of a program whose command line reads into Options, derived
// from ProgramOptions: within run_program, with "PROGRAM: " before a
// failure's message, reads the arguments after the program's name with
// read_options, notes the closed standard streams in them, and runs them.
template <class Options>
int command_line_main(std::string_view program, int argc, char** argv,
                      Options (*read_options)(std::span<const char* const>),
                      void (*run)(const Options&))
{
    const std::string prefix = std::string(program) + ": ";
    return run_program({prefix}, [&](ClosedStreams closed) {
        const std::vector<const char*> arguments(argv + 1, argv + argc);
        Options options = read_options(arguments);
        options.closed = closed;
        run(options);
        return common::ExitStatus::success;
    });
}

}  // namespace pedsim::shell
