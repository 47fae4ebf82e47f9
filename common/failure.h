// The one fatal path of every program: a failure is thrown as a Failure that
// carries its exit status, the file and line it is about when there is one,
// and what is wrong; main prints the line and exits with the status. The
// numerical routines never throw.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/exit_status.h"

namespace pedsim::common {

// Where a failure lies: a file (empty when the failure is about none) and a
// line in it (0 for the file as a whole).
struct Place {
    std::string file;
    std::size_t line = 0;
};

class Failure : public std::runtime_error {
public:
    // A failure about no particular file, or whose file the caller names
    // later (see naming_file).
    Failure(ExitStatus status, const std::string& message);
    // A failure in a file: what() is "FILE: MESSAGE", or "FILE: line N:
    // MESSAGE" when place.line is not 0.
    Failure(ExitStatus status, Place place, const std::string& message);

    ExitStatus status() const { return status_; }
    const Place& place() const { return place_; }
    // The message without its place.
    const std::string& message() const { return message_; }

private:
    ExitStatus status_;
    Place place_;
    std::string message_;
};

// Runs `step` and returns what it returns. A Failure of `status` that it
// throws without a file comes out placed in `file_name`, so that the code
// that reads or checks a file's contents need not know the file's name.
// Failures of other statuses, and those already placed, pass unchanged.
template <class Step>
decltype(auto) naming_file(std::string_view file_name, ExitStatus status, Step&& step)
{
    try {
        return step();
    } catch (const Failure& failure) {
        if (failure.status() != status || !failure.place().file.empty()) throw;
        throw Failure(status, Place{std::string(file_name), failure.place().line},
                      failure.message());
    }
}

// `text` as it may stand in a one-line message: printable ASCII and whole
// UTF-8 characters as they are, any other byte (a control character, DEL, a
// stray or cut UTF-8 byte) written as \xNN, text beyond `shown` bytes cut and
// followed by "...".
std::string printable(std::string_view text, std::size_t shown);

// printable(text, 40) in double quotes: a name taken from the user's input.
std::string quoted(std::string_view text);

}  // namespace pedsim::common
