// The one fatal path of pedsim: every failure is thrown as a Failure that
// carries the line to print on standard error and the exit status; main
// turns it into both. The numerical routines never throw.
#pragma once

#include <stdexcept>
#include <string>

namespace pedsim {

// Exit statuses of the program; 0 also ends the run after the protocol message.
enum class ExitStatus : int {
    success = 0,
    bad_parameter_file = 1,  // "parpop" is unreadable as a parameter record
    refused_parameters = 2,  // the parameters break a limit of the pedigree
    out_of_memory = 3,       // a table's size overflows or cannot be allocated
    file_error = 4,          // "parpop" or "pedig" cannot be opened, read or written
};

class Failure : public std::runtime_error {
public:
    Failure(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status)
    {}
    ExitStatus status() const { return status_; }

private:
    ExitStatus status_;
};

}  // namespace pedsim
