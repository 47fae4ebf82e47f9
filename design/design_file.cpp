#include "design/design_file.h"

#include <cstdint>

#include "common/exit_status.h"
#include "common/failure.h"
#include "design/parameter_checks.h"
#include "design/parameter_file.h"
#include "shell/input_files.h"

namespace pedsim::design {

Parameters read_design(const std::string& path)
{
    const std::string name = shell::input_name(path);
    const std::string text = read_parameter_text(shell::open_input(path), name);
    return common::naming_file(name, common::ExitStatus::input_refused, [&] {
        Parameters p;
        try {
            p = parse_parameters(text, name);
            if (check_parameters(p, name) == Verdict::runs) return p;
        } catch (const common::Failure& failure) {
            // Whatever pedsim would do with the design, here it is an input refused.
            throw common::Failure(common::ExitStatus::input_refused, failure.place(),
                                  failure.message());
        }
        throw common::Failure(common::ExitStatus::input_refused,
                              "the protocol's " + std::to_string(std::int64_t{p.nsirep} * p.ndpsp) +
                                  " dams (nsirep*ndpsp) exceed half the " +
                                  std::to_string(std::int64_t{p.nsire} * p.ndps * p.noff) +
                                  " offspring of a generation (nsire*ndps*noff): pedsim writes no "
                                  "pedigree for this design");
    });
}

}  // namespace pedsim::design
