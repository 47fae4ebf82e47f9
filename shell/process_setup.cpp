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

// Every program's operator new: a block of 256 KiB or more asks for
// transparent huge pages (madvise) over the 2 MiB pages it touches, which
// this kind of system gives only to memory that asks. Each fresh 4 KiB page
// costs a fault, and on a virtual machine that maps guest pages one by one
// far more (2.7 ms a megabyte here, against 0.06 to 1.1 in huge pages, as
// the host has them ready or not): a herd book of a million animals faulted
// 20,800 times, 3,000,000 founders 138,000 times. Arrays read at random (a
// hash table's slots, each animal's dam) also skip a page-table walk per
// read. The advice covers whole huge pages around the block, shared with its
// neighbours in the heap, which may then be gathered into huge pages too;
// memory stays malloc's, freed by the standard operator delete. Under the
// sanitizers their own operator new stays (GCC names them by macros, Clang
// by features).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PEDSIM_SANITIZED_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define PEDSIM_SANITIZED_ALLOCATION 1
#endif
#endif
bool pedsim::shell::large_blocks_ask_for_huge_pages()
{
#ifdef PEDSIM_SANITIZED_ALLOCATION
    return false;
#else
    return true;
#endif
}

#ifndef PEDSIM_SANITIZED_ALLOCATION
void* operator new(std::size_t size)
{
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    constexpr std::size_t least_advised = std::size_t{256} << 10;
    void* block = nullptr;
    while ((block = std::malloc(size == 0 ? 1 : size)) == nullptr) {
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) throw std::bad_alloc();
        handler();
    }
    if (size >= least_advised) {
        const auto start = reinterpret_cast<std::uintptr_t>(block);
        const std::uintptr_t first = start / huge_page * huge_page;
        const std::uintptr_t end = (start + size + huge_page - 1) / huge_page * huge_page;
        // Only advice: a range reaching past the heap's end, or a kernel
        // without huge pages, leaves the block as it is.
        ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
    }
    return block;
}
#endif
