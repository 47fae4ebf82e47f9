// The columns beyond the animal, sire, dam, time and sex that a program asks
// the reader to keep (ReadingRules::kept_columns): each located once the
// layout is known, then its text coded per row as the rows are read. Nothing
// is kept, and nothing costs, when no column is asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pedigree/column_layout.h"
#include "pedigree/pedigree.h"

namespace pedsim::pedigree {

// A column whose text the reader keeps for every row: by its header name
// (any case), or by its number, counted from 1 over the fields of a row (R's
// column of row names not counted) when `number` is not 0.
struct ColumnRequest {
    std::string name;
    std::size_t number = 0;
};

class KeptColumns {
public:
    explicit KeptColumns(std::span<const ColumnRequest> requests) : requests_(requests) {}

    bool empty() const { return requests_.empty(); }

    // Finds each requested column in the layout: `header` holds the names of
    // the fields (empty without a header, "" first for R's row names). A
    // column not found is absent, with the reason.
    void locate(const ColumnLayout& layout, std::span<const std::string> header);

    // True when a located column is field `field` (from 0) of a row, so that
    // it is not called ignored.
    bool keeps(std::size_t field) const;

    // Codes the kept fields of one row (fields as split, layout's count).
    void add_row(std::span<const std::string_view> fields);

    // The first line, taken for a header, is a row after all: a column named
    // by that line is absent. Then the row is added (add_row) and moved to
    // the front (last_row_first).
    void header_was_a_row();
    void last_row_first();

    // The columns as read, one per request, with a level per row.
    std::vector<KeptColumn> take();

private:
    struct State {
        std::size_t field = 0;  // counted from 0 in a row's fields
        bool by_name = false;
        KeptColumn column;
        std::unordered_map<std::string_view, std::uint32_t> codes;  // views into the text
    };

    std::span<const ColumnRequest> requests_;
    std::vector<State> states_;
};

}  // namespace pedsim::pedigree
