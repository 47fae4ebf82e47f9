#include "pedigree/command_line.h"

#include <algorithm>
#include <charconv>

#include "common/exit_status.h"
#include "common/failure.h"
#include "pedigree/column_layout.h"

namespace pedsim::stats {

void refuse_usage(std::string_view program, const std::string& what)
{
    throw Failure(ExitStatus::usage_refused,
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

bool read_reading_option(std::span<const char* const> arguments, std::size_t& k,
                         ReadingOptions& reading, std::string_view program)
{
    const std::string_view argument = arguments[k];
    if (argument == "--selfing") {
        reading.selfing = true;
    } else if (argument == "--header" || argument == "--no-header") {
        const bool header = argument == "--header";
        if (reading.header && *reading.header != header)
            refuse_usage(program, "--header and --no-header contradict each other");
        reading.header = header;
    } else {
        const NamedOption named = split_option(argument);
        if (named.option == "--columns") {
            read_value(arguments, k, named, reading.columns, "a value", program);
        } else if (named.option == "--unknown") {
            read_value(arguments, k, named, reading.unknown, "a value", program);
        } else {
            return false;
        }
    }
    return true;
}

ReadingRules reading_rules(const ReadingOptions& reading)
{
    ReadingRules rules;
    if (reading.columns) rules.columns = read_column_choice(*reading.columns);
    rules.header = reading.header;
    rules.selfing = reading.selfing;
    if (reading.unknown) {
        const std::string_view labels = *reading.unknown;
        for (std::size_t start = 0; start <= labels.size();) {
            const std::size_t end = std::min(labels.find(',', start), labels.size());
            if (end > start) rules.unknown_labels.emplace_back(labels.substr(start, end - start));
            start = end + 1;
        }
    }
    return rules;
}

std::string reading_options_usage()
{
    return "  --columns LIST    the columns of the animal, sire, dam and optionally the\n"
           "                    generation or birth year and the sex, by header name or\n"
           "                    1-based number: id=ID,sire=SIRE,dam=DAM,time=YEAR,sex=SEX\n"
           "                    or 1,2,3,5\n"
           "  --header          the first line is a header, whatever it holds\n"
           "  --no-header       the first line is an animal, whatever it holds\n"
           "  --unknown LABELS  also read these comma-separated labels (any case) as an\n"
           "                    unknown parent, e.g. --unknown unknown,unk,?\n"
           "  --selfing         accept an animal whose sire is its dam (plants)\n";
}

}  // namespace pedsim::stats
