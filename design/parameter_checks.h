// Checks made on the parameter record before any table is allocated, in the
// order check_parameters makes them.
#pragma once

#include <string_view>

#include "design/parameters.h"

namespace pedsim::design {

enum class Verdict {
    runs,
    protocol_too_large
};

// Makes every check on the parameters, in this order: sound counts, the
// protocol check (returns protocol_too_large), the table sizes, the
// pedigree's limits, and whether every pass can succeed (each other check
// throws a Failure). A refusal's message starts with `file_name`, the file
// the parameters were read from.
Verdict check_parameters(const Parameters& p, std::string_view file_name = "parpop");

// The checks below are the steps of check_parameters. Their refusals give
// the rule and its values, without naming the file.

// Throws a Failure (request_refused) when a count is negative or when the
// products that the protocol check compares, nsire*ndps*noff and
// nsirep*ndpsp, do not fit in 32 bits: such counts would make that check's
// verdict meaningless.
void check_counts_are_sound(const Parameters& p);

// True when the protocol's dams, nsirep*ndpsp, are no more than half the
// offspring of one historical mating, nsire*ndps*noff. Both products are
// taken in 32 bits, wrapping around, and compared in single precision, so
// that the verdict for any design, at the edge included, is the one the
// pedigree files made so far were given; equality passes.
bool protocol_fits(const Parameters& p);

// Throws a Failure (out_of_memory, "Integer overflow when calculating the
// amount of memory to allocate") when the element count of the key and
// permutation vectors (3 times the animals of the pedigree) or of the
// generation vector ((ngen+1)*10000) exceeds 2,147,483,647.
void check_table_sizes(const Parameters& p);

// Throws a Failure (request_refused) naming the broken rule and its values
// when the parameters leave the pedigree's limits: counts that must be
// positive or not negative, identifiers of one generation running into the
// next, identifiers beyond 1,000,000, or more animals than rows of the
// generation table.
void check_pedigree_limits(const Parameters& p);

// Throws a Failure (request_refused) when a generation pass could never
// supply the sons and daughters it must select, or would need more than a
// million repeats on average (each offspring is a son with probability 1/2).
// Assumes check_pedigree_limits passed.
void check_passes_can_succeed(const Parameters& p);

// Expected number of failed passes before one succeeds when `offspring`
// births, each a son with probability 1/2, must yield at least `sons` sons and
// `daughters` daughters. Infinity when no outcome succeeds.
double expected_repeats(int offspring, int sons, int daughters);

}  // namespace pedsim::design
