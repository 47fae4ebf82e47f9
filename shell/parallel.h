// Work shared among the machine's cores with std::thread. Each item's result
// must not depend on which thread computes it, so that every run gives the
// same numbers whatever the scheduling.
#pragma once

#include <cstddef>
#include <functional>
#include <thread>

namespace pedsim::shell {

// Threads that for_each_chunk runs at most, the caller's included: the
// hardware's count, at least 1 and at most 8, since each thread may keep
// scratch space as large as the pedigree.
std::size_t worker_count();

// A thread running `work`, or none (not joinable) where no thread may start
// - a single core, or within a chunk of for_each_chunk or work run beside,
// whose threads must not multiply - or none can (its stack, or the
// process's limit). The caller then runs the work itself.
std::jthread start_thread(const std::function<void()>& work);

// The chunk size that gives each of `threads` threads about four chunks of
// [0, count), so that a thread held up leaves its last chunks to the others;
// at least 1.
std::size_t chunk_for(std::size_t count, std::size_t threads);

// Calls body(begin, end, worker) on consecutive chunks [begin, end) of
// [0, count), each of at most `chunk` items (chunk >= 1), until all are done.
// Chunks go to up to `threads` threads (threads >= 1; the machine's
// worker_count() unless a user chose) as they become free; `worker` (below
// `threads`) names the thread, so that each may keep its own
// scratch space. With a single chunk, or when called from within a chunk of
// another for_each_chunk, everything runs on the caller's thread.
// A thread that cannot start leaves its chunks to the threads that did, the
// caller's at least. When `body` throws, no further chunk starts, and the
// first exception thrown comes out of for_each_chunk on the caller's thread
// once every thread has stopped.
void for_each_chunk(std::size_t count, std::size_t chunk,
                    const std::function<void(std::size_t, std::size_t, std::size_t)>& body,
                    std::size_t threads = worker_count());

// Runs `beside` on a thread of its own while the caller runs `own`, and
// returns once both have finished. `beside` runs on the caller's thread
// instead, after `own`, when the caller runs a chunk of a for_each_chunk or
// work run beside (the threads never multiply), when worker_count() is 1,
// or when its thread cannot start. A for_each_chunk or run_beside called
// from `beside` keeps to its thread, as from a chunk. `beside` must not
// touch what `own` writes, nor report progress: the progress line and the
// stages' times belong to the caller's thread. When `own` throws, its
// exception comes out on the caller's thread once `beside` has stopped
// (`beside`, when it would run after `own`, does not run); otherwise
// `beside`'s exception, if any, comes out there.
void run_beside(const std::function<void()>& beside, const std::function<void()>& own);

}  // namespace pedsim::shell
