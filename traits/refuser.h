// The refusal of a value in a TOML file the programs read (a trait model, a
// breeding program): the file, the line and the key, what is wrong and what
// to do.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/exit_status.h"
#include "common/failure.h"

namespace pedsim::traits {

// Throws the refusal of the value of `key` standing at `line`: a Failure
// (input_refused) "FILE: line N: KEY: WHAT".
class Refuser {
public:
    explicit Refuser(std::string_view file_name) : file_name_(file_name) {}

    [[noreturn]] void operator()(std::size_t line, std::string_view key,
                                 const std::string& what) const
    {
        throw common::Failure(common::ExitStatus::input_refused,
                              common::Place{std::string(file_name_), line},
                              std::string(key) + ": " + what);
    }

private:
    std::string_view file_name_;
};

}  // namespace pedsim::traits
