// What the command lines of every program share: what a command line asks
// for, how an option takes its value, and the refusal of a command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "shell/process_setup.h"

namespace pedsim::shell {

// What a command line asks for: a run, or only the usage or the version.
enum class Request {
    run,
    help,
    version,
};

// What the command line of every program holds besides its own options: what
// it asks for, and which standard streams were closed at the start (noted by
// command_line_main, for the program to refuse a table bound for one).
struct ProgramOptions {
    Request request = Request::run;
    ClosedStreams closed;
};

// Reads --help, -h or --version into `request`; false for any other argument.
bool read_request(std::string_view argument, Request& request);

// Walks the arguments after the program's name. Before "--", an argument of
// two or more characters that starts with '-' is an option, read by
// `read_option` at its index (which moves past the option's value); every
// other argument, and every one after "--", is given to `operand`.
void read_arguments(std::span<const char* const> arguments,
                    const std::function<void(std::size_t& k)>& read_option,
                    const std::function<void(std::string_view operand)>& operand);

// Writes the usage or the version to standard output, whole (write_outputs),
// when `request` asks for one of them, and says whether it did: a program
// runs only when it did not.
bool answer_request(Request request, const std::string& usage, const std::string& version);

// Throws a Failure (request_refused) "WHAT (PROGRAM --help lists the options)".
[[noreturn]] void refuse_usage(std::string_view program, const std::string& what);

// The integer value `text` of `option`, from `least` to `most`. Refuses
// anything else, through refuse_usage: OPTION "TEXT" is not an integer from
// LEAST to MOST.
std::uint64_t integer_option(std::string_view program, std::string_view option,
                             const std::string& text, std::uint64_t least, std::uint64_t most);

// An option as an argument names it, with its value when written after '='
// ("--animals=FILE") or right after a one-letter option ("-oFILE").
struct NamedOption {
    std::string_view option;
    std::optional<std::string_view> value;
};
NamedOption split_option(std::string_view argument);

// Stores the value of `named`, the option at arguments[k], in `slot`: its
// attached value, or the next argument (k moves past it). Refuses, through
// refuse_usage, an option given twice, without its value or with an empty
// one: "OPTION needs KIND after it", KIND being e.g. "a file name".
void read_value(std::span<const char* const> arguments, std::size_t& k, const NamedOption& named,
                std::optional<std::string>& slot, std::string_view kind, std::string_view program);

// One valued option of a program: its name, where its text goes, and what
// kind of value it takes, for the message when the value is missing.
struct ValuedOption {
    std::string_view option;
    std::optional<std::string>* text;
    std::string_view kind = "a value";
};

// Reads the valued option at arguments[k] into the text of the entry of
// `valued` that names it (read_value); refuses, through refuse_usage, an
// option no entry names: "unknown option ARGUMENT".
void read_valued_option(std::span<const char* const> arguments, std::size_t& k,
                        std::span<const ValuedOption> valued, std::string_view program);

// The texts of --seed N and --threads N, turned into numbers once every
// option is read: a seed from 0 to 2^64-1, from 1 to 64 threads
// (integer_option's refusal otherwise).
struct SeedAndThreads {
    std::optional<std::string> seed, threads;

    void read_into(std::string_view program, std::optional<std::uint64_t>& seed_value,
                   std::optional<std::size_t>& thread_count) const;
};

}  // namespace pedsim::shell
