#include "pedigree/pedigree_rows.h"

#include <algorithm>

#include "common/failure.h"

namespace pedsim::pedigree {

void Refusal::operator()(LineNumber line, const std::string& what) const
{
    throw common::Failure(common::ExitStatus::input_refused,
                          common::Place{std::string(file_name_), line}, what);
}

LineNumber line_at(std::string_view text, const char* position)
{
    const auto offset = static_cast<std::size_t>(position - text.data());
    return 1 + static_cast<LineNumber>(std::ranges::count(text.substr(0, offset), '\n'));
}

}  // namespace pedsim::pedigree
