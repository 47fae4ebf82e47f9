#include "shell/process_setup.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <csignal>

namespace pedsim::shell {

namespace {

// Blocks below this come from the heap, and freed memory stays there for the
// next block up to this much: a pedigree of a million animals is arrays of
// 4 to 16 MB, made and freed stage after stage, and each fresh mapping of
// one cost the kernel a page fault and a page of zeros every 4 KiB (a fifth
// of the run's time). Larger blocks are mapped and unmapped as they come, so
// that the pedigrees of tens of millions keep their peak.
constexpr int heap_blocks_below = 64 << 20;

// One heap for every thread: the programs' threads make few blocks, most of
// them large, so a lock costs nothing, while a heap of each thread's own
// faulted fresh pages for the arrays of a stage run beside another even as
// the main heap held the blocks an earlier stage had freed (a fifth of a
// herd book's page faults).
constexpr int heaps = 1;

}  // namespace

void prepare_process()
{
    for (int fd = 0; fd <= 2; ++fd) {
        // open() takes the lowest free number: the closed descriptor itself.
        if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDWR);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    ::mallopt(M_MMAP_THRESHOLD, heap_blocks_below);
    ::mallopt(M_TRIM_THRESHOLD, heap_blocks_below);
    ::mallopt(M_ARENA_MAX, heaps);
}

ClosedStreams closed_streams()
{
    return {::fcntl(STDOUT_FILENO, F_GETFD) < 0, ::fcntl(STDERR_FILENO, F_GETFD) < 0};
}

}  // namespace pedsim::shell
