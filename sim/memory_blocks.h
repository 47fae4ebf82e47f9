// Memory for the tables of a run, from the system, as the tables need it.
#pragma once

#include <cstddef>

namespace pedsim::sim {

// The blocks spare the tables the C heap's work and give them huge pages
// (what that saves is measured in bench/README.md).
//
// Blocks of at least this many bytes come straight from the system, with
// their start on a 2 MiB boundary so that every whole 2 MiB stretch of them
// can be a huge page; smaller ones come from the C heap.
inline constexpr std::size_t large_block = std::size_t{1} << 21;

// A zero-filled block of `bytes` (at least 1), or nullptr when the system
// refuses it. Release it with release_block(block, bytes).
void* obtain_block(std::size_t bytes);
void release_block(void* block, std::size_t bytes);

// For a block that the run fills completely: asks for huge pages and makes
// the whole block resident now, in one call, instead of at a page fault for
// every page first written. Advice only: where the system cannot, the block
// becomes resident page by page as before.
void prepare_to_fill(void* block, std::size_t bytes);

}  // namespace pedsim::sim
