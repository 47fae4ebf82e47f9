// Indexed sort of integer keys.
#pragma once

#include <cstdint>
#include <span>

namespace pedsim::sort {

// Sorts ix[0..n-1] indirectly: iperm[0..n-1] receives the 1-based positions of
// the keys in ascending order (descending for kflag < 0; equal keys in the order
// the partitioning leaves them). kflag = 2 or -2 also rewrites ix in that order;
// any other kflag leaves ix as it is. n < 1 leaves iperm untouched.
// Expects ix and iperm to hold n values and, when descending, keys above -2^31.
//
// `work` is memory lent by the caller: it must hold at least n values (when
// n >= 1) and must not overlap ix or iperm. Its contents on entry are ignored.
// The sort keeps there, beside each entry of iperm, the key that entry points
// at, so that on return work[k] is ix[iperm[k] - 1] for k < n: the keys in
// sorted order, for a caller to read without scattered reads.
void ipsort(std::span<std::int32_t> ix, std::int32_t n, std::span<std::int32_t> iperm,
            std::int32_t kflag, std::span<std::int32_t> work);

}  // namespace pedsim::sort
