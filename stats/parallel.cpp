#include "parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace pedsim::stats {

std::size_t worker_count()
{
    constexpr std::size_t most_workers = 8;
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, most_workers);
}

void for_each_chunk(std::size_t count, std::size_t chunk,
                    const std::function<void(std::size_t, std::size_t, std::size_t)>& body)
{
    const std::size_t chunks = (count + chunk - 1) / chunk;
    std::atomic<std::size_t> next_chunk = 0;
    const auto work = [&](std::size_t worker) {
        for (std::size_t c = next_chunk++; c < chunks; c = next_chunk++)
            body(c * chunk, std::min(count, (c + 1) * chunk), worker);
    };
    std::vector<std::jthread> helpers;
    const std::size_t threads = std::min(worker_count(), chunks);
    for (std::size_t worker = 1; worker < threads; ++worker) helpers.emplace_back(work, worker);
    work(0);
}

}  // namespace pedsim::stats
