#include "shell/process_setup.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace pedsim::shell {

namespace {

// Blocks below this come from the heap, and freed memory stays there for the
// next block up to this much: a pedigree of a million animals is arrays of
// 4 to 16 MB, made and freed stage after stage, and each fresh mapping of
// one cost the kernel page faults and pages of zeros (a fifth of the run's
// time, before the huge pages below). Larger blocks are mapped and unmapped
// as they come, so that the pedigrees of tens of millions keep their peak.
constexpr std::size_t heap_blocks_below = std::size_t{64} << 20;

}  // namespace

void prepare_process()
{
    for (int fd = 0; fd <= 2; ++fd) {
        // open() takes the lowest free number: the closed descriptor itself.
        if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDWR);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(heap_blocks_below));
    ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(heap_blocks_below));
}

ClosedStreams closed_streams()
{
    return {::fcntl(STDOUT_FILENO, F_GETFD) < 0, ::fcntl(STDERR_FILENO, F_GETFD) < 0};
}

}  // namespace pedsim::shell

// Every program's operator new: the blocks the heap keeps, from 4 MiB to
// heap_blocks_below, ask for transparent huge pages (madvise), which this
// kind of system gives only to memory that asks. A pedigree's per-animal
// arrays are read at random places (each animal's dam); in pages of 4 KiB
// each such read walked the page tables and each fresh page cost a fault: on
// a herd book of a million animals the faults went from 24,500 to 6,500 and
// the CPU time down by a tenth. Larger blocks, mapped and unmapped as they
// come, keep small pages: a huge page fresh from the kernel costs a virtual
// machine's host far more, and such a block takes its pages afresh each time
// it is made (the system time of a 1,000,000-deep chain, whose table of
// generations grows by doubling, went from 0.25 to 0.8 s with them). The
// memory is malloc's, freed by the standard operator delete. Under the
// sanitizers their own operator new stays.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
void* operator new(std::size_t size)
{
    constexpr std::size_t huge_page = std::size_t{2} << 20, least_advised = 2 * huge_page;
    void* block = nullptr;
    while ((block = std::malloc(size == 0 ? 1 : size)) == nullptr) {
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
    if (size >= least_advised && size < pedsim::shell::heap_blocks_below) {
        // The whole huge pages within the block: advice covers whole pages.
        const auto start = reinterpret_cast<std::uintptr_t>(block);
        const std::uintptr_t first = (start + huge_page - 1) / huge_page * huge_page;
        const std::uintptr_t end = (start + size) / huge_page * huge_page;
        if (end > first) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
    return block;
}
#endif
