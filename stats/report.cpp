#include "report.h"

#include <charconv>
#include <cmath>
#include <concepts>

#include "ancestry.h"

namespace pedsim::stats {

namespace {

constexpr const char* generation_header =
    "generation\tanimals\tsires\tdams\tmean_F\tsd_F\tmax_F\tinbred_share\tdelta_F\tNe_delta_F\t"
    "mean_coancestry\tdelta_C\tNe_delta_C\tmean_ECG\tmean_dF_individual\tNe_individual\t"
    "Ne_individual_se\texpected_F\n";

constexpr const char* animal_header = "animal\tsire\tdam\tgeneration\tF\tECG\tdF_individual\n";

// Appends a number in its shortest exact form; nothing for NaN.
template <class Number>
void append(std::string& out, Number value)
{
    if constexpr (std::floating_point<Number>)
        if (std::isnan(value)) return;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

// Appends the cells of a row, a tab before each.
template <class... Numbers>
void append_cells(std::string& out, Numbers... values)
{
    ((out += '\t', append(out, values)), ...);
}

void append_row(std::string& out, const GenerationRow& r)
{
    append(out, r.generation);
    append_cells(out, r.animals, r.sires, r.dams, r.mean_f, r.sd_f, r.max_f, r.inbred_share,
                 r.delta_f, r.ne_delta_f, r.mean_coancestry, r.delta_c, r.ne_delta_c, r.mean_ecg,
                 r.mean_individual_increase, r.ne_individual, r.ne_individual_se, r.expected_f);
    out += '\n';
}

std::string summary_line(const std::string& key, const std::string& value)
{
    return "# " + key + ": " + value + '\n';
}

template <class Number>
std::string text(Number value)
{
    std::string out;
    append(out, value);
    return out.empty() ? "undefined" : out;
}

std::string generations_line(const Pedigree& pedigree, const Analysis& analysis)
{
    std::string value = text(analysis.generations.size());
    if (!analysis.generations.empty())
        value += ", from " + text(analysis.generations.front().generation) + " to " +
                 text(analysis.generations.back().generation);
    if (!pedigree.generation_source.empty())
        value += " (" + pedigree.generation_source + ")";
    else
        value += pedigree.generation_given ? " (the input's fourth column)"
                                           : " (0 for founders, else 1 + the latest parent's)";
    return summary_line("generations", value);
}

// "N (M added for parents without a row[, K missing parents of animals with
// one known parent])": K, only when there are such animals, counts the
// founders that the default rule of fe adds for them.
std::string founders_line(const Pedigree& pedigree, const Analysis& analysis)
{
    std::string value = text(analysis.founders) + " (" + text(pedigree.founders_added) +
                        " added for parents without a row";
    const std::size_t half = count_half_founders(pedigree);
    if (half > 0) value += ", " + text(half) + " missing parents of animals with one known parent";
    return summary_line("founders", value + ")");
}

std::string design_line(const DesignSummary& d)
{
    return summary_line("design", "Nm = " + text(d.males) + ", Nf = " + text(d.females) +
                                      ", 1/c = " + text(d.inverse_c) +
                                      ", Wright's Ne = " + text(d.wright_ne));
}

std::string summary(const Pedigree& pedigree, const Analysis& analysis, FounderRule rule)
{
    std::string out = summary_line("animals", text(pedigree.size()));
    if (!pedigree.layout.empty()) out += summary_line("input", pedigree.layout);
    out += founders_line(pedigree, analysis);
    out += generations_line(pedigree, analysis);
    out += summary_line("method", analysis.method);
    out += summary_line(
        "effective number of founders of the last generation",
        text(analysis.effective_founders) +
            (rule == FounderRule::known_founders_only ? " (known founders only, rescaled)" : ""));
    if (analysis.design) out += design_line(*analysis.design);
    return out;
}

std::string_view parent_name(const Pedigree& pedigree, AnimalIndex parent)
{
    if (parent == unknown) return "0";
    return pedigree.names[static_cast<std::size_t>(parent)];
}

}  // namespace

std::string generation_table(const Pedigree& pedigree, const Analysis& analysis, FounderRule rule)
{
    std::string out = summary(pedigree, analysis, rule) + generation_header;
    for (const GenerationRow& row : analysis.generations) append_row(out, row);
    return out;
}

std::string animal_table(const Pedigree& pedigree, const Analysis& analysis)
{
    const AnimalValues& values = analysis.animals;
    std::string out = animal_header;
    out.reserve(pedigree.size() * 64);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        out += pedigree.names[i];
        out += '\t';
        out += parent_name(pedigree, pedigree.sire[i]);
        out += '\t';
        out += parent_name(pedigree, pedigree.dam[i]);
        append_cells(out, pedigree.generation[i], values.inbreeding[i],
                     values.equivalent_generations[i], values.individual_increase[i]);
        out += '\n';
    }
    return out;
}

}  // namespace pedsim::stats
