// pedsim: simulates an animal pedigree from the parameter file "parpop" and
// writes it to "pedig", both in the working directory.
#include <iostream>
#include <new>
#include <span>

#include "common/process_setup.h"
#include "sim/command_line.h"
#include "sim/program.h"

int main(int argc, char** argv)
{
    pedsim::prepare_process();
    const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc - 1));
    if (pedsim::read_command_line(arguments, std::cout, std::cerr) == pedsim::Request::answered)
        return std::cout.flush() ? 0 : static_cast<int>(pedsim::ExitStatus::file_error);
    try {
        return static_cast<int>(pedsim::run_program(std::cout));
    } catch (const pedsim::Failure& failure) {
        std::cerr << failure.what() << '\n';
        return static_cast<int>(failure.status());
    } catch (const std::bad_alloc&) {
        std::cerr << "Allocation would exceed memory limit\n";
        return static_cast<int>(pedsim::ExitStatus::out_of_memory);
    }
}
