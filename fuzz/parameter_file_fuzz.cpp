// libFuzzer target: each input is the text of "parpop".
//
// Text the reader refuses and parameters the checks refuse must end in a
// pedsim::Failure; any other exception escapes and libFuzzer reports it.
// Parameters that may run, when the pedigree is small, are simulated in
// process and the pedigree file's text is checked against the properties
// every pedigree file has. A broken property aborts with a message.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "failure.h"
#include "parameter_checks.h"
#include "parameter_file.h"
#include "pedigree_counts.h"
#include "pedigree_writer.h"
#include "simulation.h"

namespace {

using pedsim::Parameters;

// Runs larger than this are only parsed and checked: under the sanitizers a
// single input must finish in well under a second.
constexpr pedsim::ExactCount most_animals = 20000;
constexpr double most_draws = 300000;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "parameter_file_fuzz: %s\n", what.c_str());
    std::abort();
}

// Draws a run is expected to make: every historical pass shuffles the dams
// and draws one sex per offspring, is repeated as often as its selection
// needs on average, and ends with the shuffles of all sons and all
// daughters; the protocol pass only shuffles its dams. Assumes parameters
// that check_parameters let run, so the counts below fit in an int.
double expected_draws(const Parameters& p)
{
    const int dams = p.nsire * p.ndps;
    const int offspring = dams * p.noff;
    const double pass = dams + offspring;
    const double historical_repeats =
        p.ngen >= 2 ? pedsim::expected_repeats(offspring, p.nsire, dams) : 0.0;
    const double protocol_repeats =
        pedsim::expected_repeats(offspring, p.nsirep, p.nsirep * p.ndpsp);
    return (p.ngen - 1) * ((1 + historical_repeats) * pass + offspring) +
           (1 + protocol_repeats) * pass + offspring + p.nsirep * p.ndpsp;
}

bool small_enough(const Parameters& p)
{
    return pedsim::pedigree_counts(p).animals <= most_animals && expected_draws(p) <= most_draws;
}

// Draws the loop must have made given the passes it records: each historical
// pass draws a dam shuffle and one value per offspring, the pass that
// succeeds also shuffles every offspring (sons and daughters), and the
// protocol pass only shuffles the protocol's dams.
std::uint64_t draws_for(const Parameters& p, const pedsim::LoopRecord& record)
{
    const auto dams = static_cast<std::uint64_t>(p.nsire * p.ndps);
    const std::uint64_t offspring = dams * static_cast<std::uint64_t>(p.noff);
    std::uint64_t draws = static_cast<std::uint64_t>(p.nsirep * p.ndpsp);
    for (std::size_t g = 0; g + 1 < record.passes.size(); ++g)
        draws += static_cast<std::uint64_t>(record.passes[g]) * (dams + offspring) + offspring;
    return draws;
}

// One line of the pedigree file, read back.
struct Line {
    int animal;
    int sire;
    int dam;
    int generation;
};

// Reads the six-character right-aligned field `k` (0-based) of `line`.
int field(std::string_view line, std::size_t k, std::size_t number)
{
    std::string_view text = line.substr(7 * k, 6);
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        fail("line " + std::to_string(number) + ": field " + std::to_string(k + 1) +
             " is not an integer");
    return value;
}

// Splits the text into lines of 27 characters and a line feed, with single
// blanks between the four fields.
std::vector<Line> read_lines(const std::string& text)
{
    constexpr std::size_t length = pedsim::pedigree_line_length;
    if (text.size() % length != 0) fail("text length is not a whole number of 28-byte lines");
    std::vector<Line> lines;
    for (std::size_t start = 0; start < text.size(); start += length) {
        const std::string_view line = std::string_view(text).substr(start, length);
        const std::size_t number = lines.size() + 1;
        if (line[6] != ' ' || line[13] != ' ' || line[20] != ' ' || line[27] != '\n')
            fail("line " + std::to_string(number) +
                 " is not four 6-character fields and a line feed");
        lines.push_back({field(line, 0, number), field(line, 1, number), field(line, 2, number),
                         field(line, 3, number)});
    }
    return lines;
}

// Every animal carries its line number; founders have no parents and the
// first generation; any other animal has both parents on earlier lines, one
// generation before its own.
void check_lines(const std::vector<Line>& lines, const Parameters& p)
{
    for (std::size_t r = 1; r <= lines.size(); ++r) {
        const Line& line = lines[r - 1];
        const std::string at = "line " + std::to_string(r) + ": ";
        if (line.animal != static_cast<int>(r)) fail(at + "field 1 is not the line number");
        if (line.sire == 0 && line.dam == 0) {
            if (line.generation != 1 - p.ngen)
                fail(at + "an animal without parents is not a founder");
            continue;
        }
        if (line.sire < 1 || line.dam < 1 || line.sire >= line.animal || line.dam >= line.animal)
            fail(at + "a parent does not stand on an earlier line");
        if (line.sire == line.dam) fail(at + "sire and dam are the same animal");
        const int parents = line.generation - 1;
        if (lines[static_cast<std::size_t>(line.sire) - 1].generation != parents ||
            lines[static_cast<std::size_t>(line.dam) - 1].generation != parents)
            fail(at + "a parent is not of the generation before");
    }
}

void simulate_and_check(const Parameters& p)
{
    pedsim::UniformGenerator generator;
    pedsim::LoopRecord record;
    const pedsim::Tables tables = pedsim::simulate(p, generator, &record);
    if (generator.draws() != draws_for(p, record))
        fail("the draws made do not match the passes recorded");

    const std::vector<Line> lines = read_lines(pedsim::pedigree_text(tables, p.ngen));
    if (static_cast<pedsim::ExactCount>(lines.size()) != pedsim::pedigree_counts(p).animals)
        fail("the line count is not the number of animals");
    check_lines(lines, p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Parameters p;
    try {
        p = pedsim::parse_parameters(text);
        if (pedsim::check_parameters(p) != pedsim::Verdict::runs) return 0;
    } catch (const pedsim::Failure&) {
        return 0;  // the program's own refusal: a message and a non-zero exit
    }
    if (small_enough(p)) simulate_and_check(p);
    return 0;
}
