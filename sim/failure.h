// The one fatal path of pedsim: every failure is thrown as a Failure that
// carries the line to print on standard error and the exit status; main
// turns it into both. The numerical routines never throw.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

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

// Runs `step` and returns what it returns. A Failure of `status` that it
// throws comes out with "<file_name>: " before its message, so that the code
// that reads or checks a file's contents need not know the file's name.
template <class Step>
decltype(auto) naming_file(std::string_view file_name, ExitStatus status, Step&& step)
{
    try {
        return step();
    } catch (const Failure& failure) {
        if (failure.status() != status) throw;
        throw Failure(status, std::string(file_name) + ": " + failure.what());
    }
}

}  // namespace pedsim
