// pedsim: simulates an animal pedigree from the parameter file "parpop" and
// writes it to "pedig", both in the working directory. Arguments are ignored.
#include <iostream>
#include <new>

#include "program.h"

int main()
{
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
