#include "pedigree/reading_options.h"

#include <algorithm>

#include "pedigree/column_layout.h"
#include "shell/command_line.h"

namespace pedsim::pedigree {

bool read_reading_option(std::span<const char* const> arguments, std::size_t& k,
                         ReadingOptions& reading, std::string_view program)
{
    const std::string_view argument = arguments[k];
    if (argument == "--selfing") {
        reading.selfing = true;
    } else if (argument == "--header" || argument == "--no-header") {
        const bool header = argument == "--header";
        if (reading.header && *reading.header != header)
            shell::refuse_usage(program, "--header and --no-header contradict each other");
        reading.header = header;
    } else {
        const shell::NamedOption named = shell::split_option(argument);
        if (named.option == "--columns") {
            shell::read_value(arguments, k, named, reading.columns, "a value", program);
        } else if (named.option == "--unknown") {
            shell::read_value(arguments, k, named, reading.unknown, "a value", program);
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

}  // namespace pedsim::pedigree
