// The pedigree file's lines: four integers right-aligned in fields of six
// characters, one blank between fields, a line feed at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/block_sink.h"
#include "sim/tables.h"

namespace pedsim::sim {

constexpr std::size_t pedigree_line_length = 28;  // 27 characters and the line feed

// Formats one line at `out` and returns the position after it. A value that
// does not fit in six characters is written as six asterisks.
char* format_pedigree_line(char* out, std::int32_t animal, std::int32_t sire, std::int32_t dam,
                           std::int32_t generation);

// Writes one line per row of t.sorted_pedigree: the new numbers (t.new_number)
// of the animal, its sire and its dam, and the generation of the animal's
// line relative to ngen. Lines go out in blocks of a few hundred KiB.
void write_pedigree(const Tables& t, std::int32_t ngen, BlockSink& out);

// The size of the pedigree file's text, in bytes.
inline std::size_t pedigree_text_size(const Tables& t)
{
    return static_cast<std::size_t>(t.animal_count) * pedigree_line_length;
}

// The whole text of the pedigree file, in memory.
std::string pedigree_text(const Tables& t, std::int32_t ngen);

}  // namespace pedsim::sim
