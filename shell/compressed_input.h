// The text of a pedigree file as it arrives: plain, or compressed with gzip
// or zstd (recognised by their magic bytes, whatever the file's name), and
// never endless: a text without a line end in its first 64 MiB is no pedigree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pedsim::shell {

// Checks, once `text` has grown past 64 MiB, that a line end stands within
// its first 64 MiB; `checked` remembers that the check was made. Throws a
// Failure (input_refused) "NAME: no line end in the first 64 MiB; this is
// not a pedigree text" otherwise.
void check_line_end(std::string_view text, bool& checked, const std::string& name);

// `raw` itself, or its decompressed text when it starts with gzip's (1f 8b)
// or zstd's (28 b5 2f fd) magic bytes. Throws a Failure (input_refused)
// "NAME: compressed with bzip2: decompress it first" for bzip2 and xz, and
// "NAME: damaged gzip data: ..." when the data cannot be decompressed.
std::string decompressed(std::string raw, const std::string& name);

// True when `text` starts with the magic bytes of gzip, zstd, bzip2 or xz:
// decompressed() decodes or refuses it rather than returning it.
bool is_compressed(std::string_view text);

}  // namespace pedsim::shell
