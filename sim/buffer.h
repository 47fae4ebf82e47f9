// Fixed-size heap buffers for the tables of a run. Each is allocated once, at
// its final size, and lives as long as the run.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "common/failure.h"
#include "sim/memory_blocks.h"

namespace pedsim::sim {

template <class T>
class Buffer {
public:
    Buffer() = default;

    // Zero-filled: fresh pages from the system, which cost nothing until
    // first used.
    static Buffer zeroed(std::size_t count) { return Buffer(count); }

    // For a buffer the run fills completely: see prepare_to_fill.
    void prepare_to_fill() { sim::prepare_to_fill(data_.get(), bytes(size_)); }

    T* data() { return data_.get(); }
    const T* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::span<T> span() { return {data_.get(), size_}; }
    std::span<const T> span() const { return {data_.get(), size_}; }
    T& operator[](std::size_t index) { return data_[index]; }
    const T& operator[](std::size_t index) const { return data_[index]; }

private:
    static std::size_t bytes(std::size_t count) { return count * sizeof(T); }

    struct Release {
        std::size_t bytes = 0;
        void operator()(T* block) const { release_block(block, bytes); }
    };

    explicit Buffer(std::size_t count)
        : data_(static_cast<T*>(obtain_block(bytes(count))), Release{bytes(count)}), size_(count)
    {
        if (data_ == nullptr)
            throw common::Failure(common::ExitStatus::out_of_memory,
                                  "Allocation would exceed memory limit");
    }

    std::unique_ptr<T[], Release> data_;
    std::size_t size_ = 0;
};

}  // namespace pedsim::sim
