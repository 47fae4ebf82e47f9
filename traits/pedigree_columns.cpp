#include "traits/pedigree_columns.h"

#include <algorithm>
#include <string>

#include "common/failure.h"

namespace pedsim::traits {

std::vector<pedigree::ColumnRequest> column_requests(const TraitModel& model)
{
    std::vector<pedigree::ColumnRequest> requests;
    for (const FixedEffect& effect : model.fixed)
        if (effect.reads_pedigree_column())
            requests.push_back(effect.column_number != 0
                                   ? pedigree::ColumnRequest{"", effect.column_number}
                                   : pedigree::ColumnRequest{effect.source, 0});
    return requests;
}

void check_pedigree_columns(const pedigree::Pedigree& pedigree, const TraitModel& model,
                            std::string_view model_name, std::string_view pedigree_name)
{
    std::size_t k = 0;
    for (const FixedEffect& effect : model.fixed) {
        if (!effect.reads_pedigree_column()) continue;
        const pedigree::KeptColumn& column = pedigree.kept.at(k++);
        const auto refuse = [&](const std::string& what) {
            throw common::Failure(common::ExitStatus::input_refused,
                                  common::Place{std::string(model_name), effect.line},
                                  "fixed.column: " + std::string(pedigree_name) + ": " + what);
        };
        if (!column.absent.empty())
            refuse(column.absent +
                   "; give a column's header name or its number from 1 (column = 5), or \"sex\" "
                   "or \"generation\"");
        // A tab or line end in a level would split the tables' rows.
        for (const std::string& label : column.labels)
            if (std::ranges::any_of(label, [](char c) {
                    return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
                }))
                refuse("the value " + common::quoted(label) + " of column " +
                       common::quoted(effect.source) +
                       " holds a control character, which the tab-separated tables cannot "
                       "hold; remove it");
    }
}

}  // namespace pedsim::traits
