// Work shared among threads in fixed shares: share k of `shares` is the
// items [count k / shares, count (k + 1) / shares), so what each item gets
// never depends on the number of threads. pedsim-stats' for_each_chunk hands
// chunks out as threads become free and fixes its count at the machine's,
// where --threads needs to choose it.
#pragma once

#include <cstddef>
#include <thread>
#include <vector>

namespace pedsim::traits {

// Calls body(share, begin, end) for each share, share 0 on the caller's
// thread and the others on their own; returns when all are done (shares >= 1).
template <class Body>
void for_each_share(std::size_t count, std::size_t shares, const Body& body)
{
    const auto run = [&](std::size_t share) {
        body(share, count * share / shares, count * (share + 1) / shares);
    };
    std::vector<std::jthread> helpers;
    for (std::size_t share = 1; share < shares; ++share) helpers.emplace_back(run, share);
    run(0);
}

}  // namespace pedsim::traits
