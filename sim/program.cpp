#include "sim/program.h"
#include "design/parameter_checks.h"
#include "design/parameter_file.h"
#include "sim/pedigree_output.h"
#include "sim/pedigree_writer.h"
#include "sim/run_files.h"
#include "sim/simulation.h"

namespace pedsim::sim {

namespace {

// The line written on standard output, and nothing else, when the protocol
// needs more dams than half the offspring of one generation.
constexpr const char* protocol_too_large_line =
    " effectif historique trop faible pour le protocole";

common::ExitStatus report_protocol_too_large(std::ostream& out)
{
    out << protocol_too_large_line << '\n' << std::flush;
    if (!out)
        throw common::Failure(common::ExitStatus::file_error, "standard output: cannot write");
    return common::ExitStatus::success;
}

}  // namespace

common::ExitStatus run_program(std::ostream& out)
{
    const std::string parameter_path = "parpop";
    const std::string pedigree_path = "pedig";
    const ParameterFile parameter_file = open_parameter_file(parameter_path);
    common::FileDescriptor pedigree_file = open_pedigree_file(pedigree_path);
    refuse_one_file(parameter_file, pedigree_file, parameter_path, pedigree_path);
    const design::Parameters p =
        design::parse_parameters(read_parameter_file(parameter_file, parameter_path));
    if (design::check_parameters(p) == design::Verdict::protocol_too_large)
        return report_protocol_too_large(out);

    const Tables tables = simulate(p, random::process_generator());
    PedigreeOutput output(std::move(pedigree_file), pedigree_path);
    output.reserve(pedigree_text_size(tables));
    write_pedigree(tables, p.ngen, output);
    output.finish();
    return common::ExitStatus::success;
}

}  // namespace pedsim::sim
