// What the fuzz targets of the TOML readers (a trait model, a breeding
// program) demand of a refusal, and how they stop when a property breaks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/exit_status.h"
#include "common/failure.h"

namespace pedsim::fuzz {

// Longer than any message the readers write: a file name, a line, a key
// cut at 40 bytes or the TOML library's description cut at 200, and the
// advice.
inline constexpr std::size_t longest_message = 512;

// Writes "TARGET: WHAT" on standard error and aborts, which libFuzzer reports
// with the input.
[[noreturn]] inline void fail(std::string_view target, const std::string& what)
{
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(target.size()), target.data(),
                 what.c_str());
    std::abort();
}

// Aborts through fail unless `failure` is a refusal of the input (status
// input_refused) in one printable line of at most longest_message bytes.
inline void check_refusal(std::string_view target, const common::Failure& failure)
{
    const std::string_view message = failure.what();
    if (failure.status() != common::ExitStatus::input_refused)
        fail(target, "a refusal with another exit status: " + std::string(message));
    if (message.size() > longest_message)
        fail(target, "a message of " + std::to_string(message.size()) + " bytes");
    if (std::ranges::any_of(message, [](char c) { return c == '\x7f' || (c >= 0 && c < ' '); }))
        fail(target, "a control character in the message: " + common::printable(message, 200));
}

}  // namespace pedsim::fuzz
