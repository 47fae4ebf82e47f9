// The input files of the statistics and the trait simulation: a pedigree, a
// model or a design, or standard input, read whole.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/files.h"
#include "shell/mapped_file.h"

namespace pedsim::shell {

// The name that messages give the input `path`: "standard input" for "-".
std::string input_name(const std::string& path);

// The file at `path` opened for reading, or a copy of standard input for "-".
// Throws a Failure (file_error) "NAME: cannot open: REASON".
common::FileDescriptor open_input(const std::string& path);

// The whole text of the file at `path`, or of standard input for "-",
// decompressed when it is gzip or zstd data (see compressed_input.h).
// Throws a Failure: file_error "NAME: cannot open: REASON" or "NAME: cannot
// read: REASON"; input_refused for a text without a line end in its first
// 64 MiB (such as /dev/zero), for bzip2 or xz data and for damaged data.
std::string read_input(const std::string& path);

// The same text, held where it costs least: a regular file that is not
// compressed is mapped (MappedFile), anything else read as read_input reads
// it. The text lives as long as the object. Throws as read_input does.
class InputText {
public:
    explicit InputText(std::string read) : read_(std::move(read)) {}
    explicit InputText(MappedFile mapped) : mapped_(std::move(mapped)) {}
    std::string_view text() const { return mapped_ ? mapped_->text() : std::string_view(read_); }

private:
    std::string read_;
    std::optional<MappedFile> mapped_;
};
InputText input_text(const std::string& path);

}  // namespace pedsim::shell
