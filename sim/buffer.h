// Fixed-size heap buffers for the tables of a run. Each is allocated once, at
// its final size, and lives as long as the run.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "failure.h"

namespace pedsim {

template <class T>
class Buffer {
public:
    Buffer() = default;

    // Zero-filled. Large blocks come from calloc as fresh zero pages, so the
    // zeroing costs nothing until a page is first used.
    static Buffer zeroed(std::size_t count)
    {
        return Buffer(std::calloc(count ? count : 1, sizeof(T)), count);
    }

    // Contents undefined until written.
    static Buffer uninitialised(std::size_t count)
    {
        return Buffer(std::malloc((count ? count : 1) * sizeof(T)), count);
    }

    // Asks the kernel to back the block with 2 MiB pages: the first touch of
    // one costs a single page fault where 512 small pages cost 512. Only the
    // 2 MiB-aligned stretches lying wholly inside the block are concerned, so
    // nothing outside it becomes resident; but each such stretch becomes
    // resident whole at its first touch, so this suits a block the run fills
    // completely. Advice only: where huge pages are unavailable, nothing changes.
    void prefer_huge_pages()
    {
        constexpr std::uintptr_t huge_page = std::uintptr_t{1} << 21;
        const auto begin = reinterpret_cast<std::uintptr_t>(data_.get());
        const std::uintptr_t end = begin + size_ * sizeof(T);
        const std::uintptr_t first = (begin + huge_page - 1) & ~(huge_page - 1);
        const std::uintptr_t last = end & ~(huge_page - 1);
        if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::span<T> span() { return {data_.get(), size_}; }
    std::span<const T> span() const { return {data_.get(), size_}; }
    T& operator[](std::size_t index) { return data_[index]; }
    const T& operator[](std::size_t index) const { return data_[index]; }

private:
    struct Free {
        void operator()(T* p) const { std::free(p); }
    };

    Buffer(void* memory, std::size_t count) : data_(static_cast<T*>(memory)), size_(count)
    {
        if (memory == nullptr)
            throw Failure(ExitStatus::out_of_memory, "Allocation would exceed memory limit");
    }

    std::unique_ptr<T[], Free> data_;
    std::size_t size_ = 0;
};

}  // namespace pedsim
