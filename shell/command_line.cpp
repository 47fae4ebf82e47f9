#include "shell/command_line.h"

#include <algorithm>
#include <charconv>

#include "common/exit_status.h"
#include "common/failure.h"
#include "common/output_files.h"

namespace pedsim::shell {

bool answer_request(Request request, const std::string& usage, const std::string& version)
{
    if (request == Request::run) return false;
    const common::Output answer{"", request == Request::help ? usage : version};
    common::write_outputs({&answer, 1});
    return true;
}

bool read_request(std::string_view argument, Request& request)
{
    if (argument == "--help" || argument == "-h") request = Request::help;
    if (argument == "--version") request = Request::version;
    return argument == "--help" || argument == "-h" || argument == "--version";
}

void read_arguments(std::span<const char* const> arguments,
                    const std::function<void(std::size_t& k)>& read_option,
                    const std::function<void(std::string_view operand)>& operand)
{
    bool options_ended = false;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string_view argument = arguments[k];
        if (!options_ended && argument == "--") {
            options_ended = true;
        } else if (!options_ended && argument.size() > 1 && argument.starts_with('-')) {
            read_option(k);
        } else {
            operand(argument);
        }
    }
}

void refuse_usage(std::string_view program, const std::string& what)
{
    throw common::Failure(common::ExitStatus::request_refused,
                          what + " (" + std::string(program) + " --help lists the options)");
}

std::uint64_t integer_option(std::string_view program, std::string_view option,
                             const std::string& text, std::uint64_t least, std::uint64_t most)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < least || value > most)
        refuse_usage(program, std::string(option) + " \"" + text + "\" is not an integer from " +
                                  std::to_string(least) + " to " + std::to_string(most));
    return value;
}

NamedOption split_option(std::string_view argument)
{
    if (argument.starts_with("--")) {
        const std::size_t equals = argument.find('=');
        if (equals == std::string_view::npos) return {argument, std::nullopt};
        return {argument.substr(0, equals), argument.substr(equals + 1)};
    }
    if (argument.size() > 2) return {argument.substr(0, 2), argument.substr(2)};
    return {argument, std::nullopt};
}

void read_value(std::span<const char* const> arguments, std::size_t& k, const NamedOption& named,
                std::optional<std::string>& slot, std::string_view kind, std::string_view program)
{
    const std::string option(named.option);
    if (slot) refuse_usage(program, option + " is given twice");
    if (named.value) {
        slot = std::string(*named.value);
    } else {
        if (++k == arguments.size())
            refuse_usage(program, option + " needs " + std::string(kind) + " after it");
        slot = std::string(arguments[k]);
    }
    if (slot->empty())
        refuse_usage(program, option + " needs " + std::string(kind) + ", not an empty one");
}

void read_valued_option(std::span<const char* const> arguments, std::size_t& k,
                        std::span<const ValuedOption> valued, std::string_view program)
{
    const NamedOption named = split_option(arguments[k]);
    const auto entry = std::ranges::find(valued, named.option, &ValuedOption::option);
    if (entry == valued.end()) refuse_usage(program, "unknown option " + std::string(arguments[k]));
    read_value(arguments, k, named, *entry->text, entry->kind, program);
}

void SeedAndThreads::read_into(std::string_view program, std::optional<std::uint64_t>& seed_value,
                               std::optional<std::size_t>& thread_count) const
{
    if (seed) seed_value = integer_option(program, "--seed", *seed, 0, UINT64_MAX);
    if (threads) thread_count = integer_option(program, "--threads", *threads, 1, 64);
}

}  // namespace pedsim::shell
