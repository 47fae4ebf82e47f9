#include "sim/memory_blocks.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

namespace pedsim::sim {

namespace {

constexpr std::uintptr_t small_page = 4096;

std::uintptr_t round_up(std::uintptr_t value, std::uintptr_t unit)
{
    return (value + unit - 1) & ~(unit - 1);
}

}  // namespace

void* obtain_block(std::size_t bytes)
{
    if (bytes < large_block) return std::calloc(bytes == 0 ? 1 : bytes, 1);
    // Map a 2 MiB more than needed, then give back what lies before the first
    // 2 MiB boundary and after the block. Fresh anonymous pages are zero.
    const std::size_t length = round_up(bytes, small_page);
    void* mapped = ::mmap(nullptr, length + large_block, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = round_up(start, large_block);
    if (aligned > start) ::munmap(mapped, aligned - start);
    const std::uintptr_t tail = start + length + large_block - (aligned + length);
    if (tail > 0) ::munmap(reinterpret_cast<void*>(aligned + length), tail);
    return reinterpret_cast<void*>(aligned);
}

void release_block(void* block, std::size_t bytes)
{
    if (bytes < large_block)
        std::free(block);
    else
        ::munmap(block, round_up(bytes, small_page));
}

void prepare_to_fill(void* block, std::size_t bytes)
{
    if (bytes < large_block) return;  // too small to hold a huge page
    const std::size_t whole_huge_pages = bytes & ~(large_block - 1);
    ::madvise(block, whole_huge_pages, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    ::madvise(block, round_up(bytes, small_page), MADV_POPULATE_WRITE);
#endif
}

}  // namespace pedsim::sim
