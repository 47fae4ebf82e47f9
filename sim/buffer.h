// Fixed-size heap buffers for the tables of a run. Each is allocated once, at
// its final size, and lives as long as the run.
#pragma once

#include <cstddef>
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
    static Buffer zeroed(std::size_t count) { return Buffer(std::calloc(count ? count : 1, sizeof(T)), count); }

    // Contents undefined until written.
    static Buffer uninitialised(std::size_t count) { return Buffer(std::malloc((count ? count : 1) * sizeof(T)), count); }

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
