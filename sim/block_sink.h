// Where the pedigree's text goes, a block at a time: the pedigree file, or
// memory for the tests and benchmarks.
#pragma once

#include <cstddef>

namespace pedsim::sim {

class BlockSink {
public:
    // Takes `size` bytes at `data`; a sink that cannot keep them throws.
    virtual void write(const char* data, std::size_t size) = 0;

protected:
    ~BlockSink() = default;
};

}  // namespace pedsim::sim
