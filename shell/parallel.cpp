#include "shell/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace pedsim::shell {

std::size_t worker_count()
{
    // Asked once: the standard library reads the count from a system file
    // each time, which a pedigree of a million one-animal generations,
    // asking once per generation, felt as a third of its time.
    constexpr std::size_t most_workers = 8;
    static const std::size_t workers =
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, most_workers);
    return workers;
}

std::size_t chunk_for(std::size_t count, std::size_t threads)
{
    const std::size_t chunks = 4 * std::max<std::size_t>(threads, 1);
    return std::max<std::size_t>(1, (count + chunks - 1) / chunks);
}

namespace {

// True on a thread while it runs a chunk or work run beside the caller: a
// for_each_chunk or run_beside called from there (an analysis run inside a
// replicate study, say) keeps to that thread, so that the threads, and the
// scratch space each keeps, never multiply.
thread_local bool running_a_chunk = false;

// The first exception any thread threw, kept to be rethrown on the caller's.
class FirstFailure {
public:
    void keep(std::exception_ptr failure)
    {
        const std::scoped_lock lock(mutex_);
        if (!first_) first_ = std::move(failure);
    }
    void rethrow() const
    {
        if (first_) std::rethrow_exception(first_);
    }

private:
    std::mutex mutex_;
    std::exception_ptr first_;
};

}  // namespace

std::jthread start_thread(const std::function<void()>& work)
{
    if (worker_count() == 1 || running_a_chunk) return {};
    try {
        return std::jthread(work);
    } catch (const std::system_error&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

void for_each_chunk(std::size_t count, std::size_t chunk,
                    const std::function<void(std::size_t, std::size_t, std::size_t)>& body,
                    std::size_t threads)
{
    const std::size_t chunks = (count + chunk - 1) / chunk;
    std::atomic<std::size_t> next_chunk = 0;
    FirstFailure failure;
    const auto work = [&](std::size_t worker) noexcept {
        const bool was_running_a_chunk = std::exchange(running_a_chunk, true);
        try {
            for (std::size_t c = next_chunk++; c < chunks; c = next_chunk++)
                body(c * chunk, std::min(count, (c + 1) * chunk), worker);
        } catch (...) {
            next_chunk = chunks;  // the others finish the chunk they hold and stop
            failure.keep(std::current_exception());
        }
        running_a_chunk = was_running_a_chunk;
    };
    {
        std::vector<std::jthread> helpers;
        const std::size_t started = running_a_chunk ? 1 : std::min(threads, chunks);
        try {
            helpers.reserve(started);
            for (std::size_t worker = 1; worker < started; ++worker)
                helpers.emplace_back(work, worker);
        } catch (const std::system_error&) {
            // No room for another thread (its stack, or the process's limit):
            // those already started and the caller share the chunks.
        } catch (const std::bad_alloc&) {
            // Likewise when the list of threads itself cannot grow.
        }
        work(0);
    }  // joins the helpers
    failure.rethrow();
}

void run_beside(const std::function<void()>& beside, const std::function<void()>& own)
{
    std::exception_ptr beside_failure;
    const auto work = [&]() noexcept {
        const bool was_running_a_chunk = std::exchange(running_a_chunk, true);
        try {
            beside();
        } catch (...) {
            beside_failure = std::current_exception();
        }
        running_a_chunk = was_running_a_chunk;
    };
    // Should `own` throw, the helper's destructor joins it before the
    // exception leaves.
    std::jthread helper = start_thread(work);
    own();
    if (helper.joinable())
        helper.join();
    else
        work();
    if (beside_failure) std::rethrow_exception(beside_failure);
}

}  // namespace pedsim::shell
