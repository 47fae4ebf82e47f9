// pedsim: simulates an animal pedigree from the parameter file "parpop" and
// writes it to "pedig", both in the working directory. Its messages stand
// alone on standard error, without the program's name before them.
#include <iostream>
#include <span>

#include "shell/program_main.h"
#include "sim/command_line.h"
#include "sim/program.h"

int main(int argc, char** argv)
{
    using namespace pedsim;
    const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc - 1));
    const shell::FailureVoice voice{"", "Allocation would exceed memory limit"};
    return shell::run_program(voice, [&](shell::ClosedStreams) {
        const shell::Request request = sim::read_command_line(arguments, std::cerr);
        if (request == shell::Request::run) return sim::run_program(std::cout);
        // The usage and the version go to standard output as they are; a
        // failed write is only the status, as pedsim has always answered.
        std::cout << (request == shell::Request::help ? sim::usage_text() : sim::version_text());
        return std::cout.flush() ? common::ExitStatus::success : common::ExitStatus::file_error;
    });
}
