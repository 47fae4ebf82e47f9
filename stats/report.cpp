#include "stats/report.h"
#include "measures/ancestry.h"
#include "pedigree/indexing.h"
#include "pedigree/parent_names.h"
#include "shell/table_text.h"

namespace pedsim::stats {

namespace {

constexpr const char* animal_header =
    "animal\tsire\tdam\tgeneration\tF\tECG\tdF_individual\tmean_kinship\n";

// How a column's cell is read from a row: written as text, and as a double
// for the means across replicates.
struct CellAccess {
    void (*append_cell)(std::string& out, const measures::GenerationRow& row);
    double (*value)(const measures::GenerationRow& row);
};

// A column of the per-generation table: its name in the header, and its cell.
struct Column {
    const char* name;
    CellAccess cell;
};

template <auto member>
void append_cell(std::string& out, const measures::GenerationRow& row)
{
    shell::append_number(out, row.*member);
}

template <auto member>
double value_of(const measures::GenerationRow& row)
{
    return static_cast<double>(row.*member);
}

// The cell of a member of GenerationRow.
template <auto member>
constexpr CellAccess append_member{append_cell<member>, value_of<member>};

// The columns in their order: the header and every row are written from
// this one list.
constexpr Column generation_columns[] = {
    {"generation", append_member<&measures::GenerationRow::generation>},
    {"animals", append_member<&measures::GenerationRow::animals>},
    {"sires", append_member<&measures::GenerationRow::sires>},
    {"dams", append_member<&measures::GenerationRow::dams>},
    {"mean_F", append_member<&measures::GenerationRow::mean_f>},
    {"sd_F", append_member<&measures::GenerationRow::sd_f>},
    {"max_F", append_member<&measures::GenerationRow::max_f>},
    {"inbred_share", append_member<&measures::GenerationRow::inbred_share>},
    {"delta_F", append_member<&measures::GenerationRow::delta_f>},
    {"Ne_delta_F", append_member<&measures::GenerationRow::ne_delta_f>},
    {"mean_coancestry", append_member<&measures::GenerationRow::mean_coancestry>},
    {"delta_C", append_member<&measures::GenerationRow::delta_c>},
    {"Ne_delta_C", append_member<&measures::GenerationRow::ne_delta_c>},
    {"mean_ECG", append_member<&measures::GenerationRow::mean_ecg>},
    {"mean_dF_individual", append_member<&measures::GenerationRow::mean_individual_increase>},
    {"Ne_individual", append_member<&measures::GenerationRow::ne_individual>},
    {"Ne_individual_se", append_member<&measures::GenerationRow::ne_individual_se>},
    {"expected_F", append_member<&measures::GenerationRow::expected_f>},
    {"mean_max_generations", append_member<&measures::GenerationRow::mean_maximum_generations>},
    {"mean_complete_generations",
     append_member<&measures::GenerationRow::mean_complete_generations>},
};

// The column that birth-year cohorts add after the others: a generation has
// no age at birth.
constexpr Column interval_column = {"L",
                                    append_member<&measures::GenerationRow::generation_interval>};

std::string generation_header(bool cohorts)
{
    std::string out;
    for (const Column& column : generation_columns) {
        if (!out.empty()) out += '\t';
        out += column.name;
    }
    if (cohorts) out += std::string("\t") + interval_column.name;
    return out + '\n';
}

void append_row(std::string& out, const measures::GenerationRow& row, bool cohorts)
{
    bool first = true;
    for (const Column& column : generation_columns) {
        if (!first) out += '\t';
        first = false;
        column.cell.append_cell(out, row);
    }
    if (cohorts) out += '\t', interval_column.cell.append_cell(out, row);
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
    shell::append_number(out, value);
    return out.empty() ? "undefined" : out;
}

bool by_birth_year(const measures::Analysis& analysis)
{
    return measures::by_cohorts(analysis.time.scale);
}

std::string generations_line(const pedigree::Pedigree& pedigree, const measures::Analysis& analysis)
{
    const bool years = by_birth_year(analysis);
    std::string value = text(analysis.generations.size());
    if (!analysis.generations.empty())
        value += (years ? ", born from " : ", from ") +
                 text(analysis.generations.front().generation) + " to " +
                 text(analysis.generations.back().generation);
    if (!pedigree.generation_source.empty())
        value += " (" + pedigree.generation_source + ")";
    else
        value += pedigree.generation_given ? " (the input's fourth column)"
                                           : " (0 for founders, else 1 + the latest parent's)";
    return summary_line(years ? "cohorts" : "generations", value);
}

// A share as a percentage, e.g. "99.5%".
std::string percent(double share) { return text(std::round(share * 1000) / 10) + "%"; }

std::string pathway_text(const measures::Pathway& pathway)
{
    return text(pathway.mean) + " (" + text(pathway.pairs) +
           (pathway.pairs == 1 ? " pair)" : " pairs)");
}

// The regression Ne, with a word when it says little.
std::string regression_line(const measures::RegressionSize& regression, double interval)
{
    const std::string reason = measures::uninformative_reason(regression);
    return summary_line(
        "Ne from the regression of ln(1 - mean F) on birth year over the reference cohorts",
        text(regression.ne) + " (se " + text(regression.se) + "; " + text(regression.cohorts) +
            " cohorts, a generation of " + text(interval) + " years" +
            (reason.empty() ? "" : "; not informative: " + reason) + ")");
}

// The words after a value of the reference population or the last
// generation: on birth-year data which animals these are (`animals`, e.g.
// "the 3075 animals born 2036 to 2045"), and whether fe counts known
// founders only; nothing when neither applies.
std::string population_note(const measures::Analysis& analysis, const std::string& animals,
                            measures::FounderRule rule)
{
    std::string note = by_birth_year(analysis) ? animals : "";
    if (rule == measures::FounderRule::known_founders_only)
        note += (note.empty() ? "" : "; ") + std::string("known founders only, rescaled");
    return note.empty() ? "" : " (" + note + ")";
}

// "the N animals born FROM to TO" (or "born YEAR" when they are one).
std::string born_text(std::size_t animals, std::int64_t from, std::int64_t to)
{
    return "the " + text(animals) + (animals == 1 ? " animal born " : " animals born ") +
           text(from) + (from == to ? "" : " to " + text(to));
}

// The generation interval and the regression Ne, with birth years only.
std::string cohort_lines(const measures::Analysis& analysis)
{
    const measures::GenerationInterval& l = *analysis.interval;
    std::string out = summary_line(
        "generation interval", pathway_text(l.overall) + " years; sire pathway " +
                                   pathway_text(l.sire) + ", dam pathway " + pathway_text(l.dam));
    out += summary_line("generation interval by pathway",
                        "sire-son " + pathway_text(l.sire_son) + ", sire-daughter " +
                            pathway_text(l.sire_daughter) + ", dam-son " + pathway_text(l.dam_son) +
                            ", dam-daughter " + pathway_text(l.dam_daughter));
    if (l.pairs_left_out > 0)
        out += summary_line("generation interval pairs left out",
                            text(l.pairs_left_out) +
                                " (the parent's or the offspring's birth year filled in, not "
                                "recorded)");
    if (analysis.regression) out += regression_line(*analysis.regression, l.overall.mean);
    return out;
}

// How the time was read and the measures of the reference population.
std::string reference_lines(const pedigree::Pedigree& pedigree, const measures::Analysis& analysis,
                            measures::FounderRule rule)
{
    const std::string_view unit = by_birth_year(analysis) ? "born " : "of generations ";
    std::string out =
        summary_line("time", std::string(measures::time_scale_text(analysis.time, pedigree)));
    out += summary_line("reference population",
                        text(analysis.reference_animals) + " animals " + std::string(unit) +
                            text(analysis.reference.from) + " to " + text(analysis.reference.to));
    if (analysis.reference_animals == 0) return out;
    out +=
        summary_line("effective number of founders of the reference population",
                     text(analysis.reference_founders) +
                         population_note(analysis,
                                         born_text(analysis.reference_animals,
                                                   analysis.reference.from, analysis.reference.to) +
                                             ", the reference population",
                                         rule));
    const measures::AncestorContributions& a = analysis.ancestors;
    out += summary_line("effective number of ancestors of the reference population",
                        text(a.effective_ancestors) + " (" + text(a.ancestors) +
                            " ancestors explain " + percent(a.explained) + " of the genes" +
                            (a.ancestors == analysis.ancestor_cap
                                 ? ", the most chosen: --fa-ancestors N chooses up to N"
                                 : "") +
                            "; " + text(a.half) + " explain 50%)");
    out += summary_line(
        "founder genome equivalents of the reference population",
        text(analysis.founder_genomes) + " (mean coancestry " +
            text(analysis.reference_coancestry) +
            "; gene diversity 1 - 1/(2 fg) = " + text(1 - analysis.reference_coancestry) +
            ", lost since the founders 1/(2 fg) = " + text(analysis.reference_coancestry) + ")");
    if (analysis.interval) out += cohort_lines(analysis);
    return out;
}

// "N (M added for parents without a row[, K missing parents of animals with
// one known parent])": K, only when there are such animals, counts the
// founders that the default rule of fe adds for them.
std::string founders_line(const pedigree::Pedigree& pedigree, const measures::Analysis& analysis)
{
    std::string value = text(analysis.founders) + " (" + text(pedigree.founders_added) +
                        " added for parents without a row";
    const std::size_t half = measures::count_half_founders(pedigree);
    if (half > 0) value += ", " + text(half) + " missing parents of animals with one known parent";
    return summary_line("founders", value + ")");
}

// Which animals the last generation's fe is of, on birth-year data.
std::string last_generation_note(const measures::Analysis& analysis, measures::FounderRule rule)
{
    if (analysis.generations.empty()) return population_note(analysis, "", rule);
    const measures::GenerationRow& last = analysis.generations.back();
    return population_note(
        analysis, born_text(last.animals, last.generation, last.generation) + ", the last cohort",
        rule);
}

}  // namespace

std::string design_line(const measures::DesignSummary& d)
{
    return summary_line("design", "Nm = " + text(d.males) + ", Nf = " + text(d.females) +
                                      ", 1/c = " + text(d.inverse_c) +
                                      ", Wright's Ne = " + text(d.wright_ne));
}

namespace {

std::string summary(const pedigree::Pedigree& pedigree, const measures::Analysis& analysis,
                    measures::FounderRule rule)
{
    std::string out = summary_line("animals", text(pedigree.size()));
    if (!pedigree.layout.empty()) out += summary_line("input", pedigree.layout);
    out += founders_line(pedigree, analysis);
    out += generations_line(pedigree, analysis);
    if (analysis.outside_cohorts > 0)
        out += summary_line("outside every cohort",
                            text(analysis.outside_cohorts) +
                                " animals with no birth year of their own nor a parent's to take "
                                "(founders without one, parents without a row)");
    out += summary_line("method", analysis.method);
    out += summary_line("effective number of founders of the last generation",
                        text(analysis.effective_founders) + last_generation_note(analysis, rule));
    if (analysis.design) out += design_line(*analysis.design);
    return out + reference_lines(pedigree, analysis, rule);
}

}  // namespace

std::vector<std::string_view> generation_column_names()
{
    std::vector<std::string_view> names;
    for (const Column& column : generation_columns) names.emplace_back(column.name);
    return names;
}

std::vector<double> generation_row_values(const measures::GenerationRow& row)
{
    std::vector<double> values;
    for (const Column& column : generation_columns) values.push_back(column.cell.value(row));
    return values;
}

std::string generation_table_text(const pedigree::Pedigree& pedigree,
                                  const measures::Analysis& analysis, measures::FounderRule rule)
{
    const bool cohorts = by_birth_year(analysis);
    std::string out = summary(pedigree, analysis, rule) + generation_header(cohorts);
    for (const measures::GenerationRow& row : analysis.generations) append_row(out, row, cohorts);
    return out;
}

std::string animal_table(const pedigree::Pedigree& pedigree, const measures::Analysis& analysis)
{
    const measures::AnimalValues& values = analysis.animals;
    std::string out = animal_header;
    out.reserve(pedigree.size() * 64);
    for (std::size_t i = 0; i < pedigree.size(); ++i) {
        pedigree::append_names(out, pedigree, i);
        // An animal outside every cohort has no year: its cell stays empty.
        out += '\t';
        if (analysis.in_cohort.empty() || analysis.in_cohort[i])
            shell::append_number(out, pedigree.generation[i]);
        shell::append_cells(out, '\t', values.inbreeding[i], values.equivalent_generations[i],
                            values.individual_increase[i], values.mean_kinship[i]);
        out += '\n';
    }
    return out;
}

}  // namespace pedsim::stats
