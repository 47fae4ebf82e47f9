// Indexed sort of integer keys.
#pragma once

#include <cstdint>
#include <span>

namespace pedsim {

// Sorts the keys ix[0..n-1] (positions 1..n) indirectly: fills iperm[0..n-1]
// with the 1-based positions of the keys in sorted order, so that
// ix[iperm[0] - 1] <= ix[iperm[1] - 1] <= ... when ascending. kflag < 0 sorts
// in descending order, kflag = 2 or -2 also rewrites ix in that sorted order,
// and every other kflag leaves ix as it came in. Equal keys end up in the
// order the quicksort partitioning leaves them (not stable, but reproducible).
// ier is always set to 0. n < 1 returns with iperm untouched. Assumes ix and
// iperm hold at least n values and, for descending sorts, that no key equals
// -2^31 (its negation does not fit in 32 bits). Allocates nothing.
void ipsort(std::span<std::int32_t> ix, std::int32_t n, std::span<std::int32_t> iperm,
            std::int32_t kflag, std::int32_t& ier);

}  // namespace pedsim
