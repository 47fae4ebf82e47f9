// An allocator for large arrays read at random places, such as a hash
// table's slots: a block of 4 MiB or more is aligned to 2 MiB and asks the
// kernel for transparent huge pages (madvise), so that a random read costs
// one cache miss instead of a cache miss and a page-table walk. Smaller
// blocks come from operator new.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace pedsim::pedigree {

template <class T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) noexcept
    {}

    T* allocate(std::size_t count)
    {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < least_huge) return static_cast<T*>(::operator new(bytes));
        const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        void* block = std::aligned_alloc(huge_page, rounded);
        if (block == nullptr) throw std::bad_alloc();
        ::madvise(block, rounded, MADV_HUGEPAGE);  // only advice: ignored where unsupported
        return static_cast<T*>(block);
    }

    void deallocate(T* block, std::size_t count) noexcept
    {
        if (count * sizeof(T) < least_huge)
            ::operator delete(block);
        else
            std::free(block);
    }

    template <class U>
    bool operator==(const HugePageAllocator<U>&) const noexcept
    {
        return true;
    }

private:
    static constexpr std::size_t huge_page = std::size_t{2} << 20;
    static constexpr std::size_t least_huge = std::size_t{4} << 20;
};

}  // namespace pedsim::pedigree
