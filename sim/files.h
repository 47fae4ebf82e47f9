// The two files of a run, "parpop" and "pedig", in the working directory.
#pragma once

#include <cstddef>
#include <string>

#include "block_sink.h"

namespace pedsim {

// An open file descriptor, closed when the object goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor();
    int get() const { return fd_; }
    // Closes now; returns the descriptor's close() status (0 on success).
    int close();

private:
    int fd_;
};

// The parameter file, opened for reading; a missing one is created empty.
// Throws a Failure (file_error) when it cannot be opened.
FileDescriptor open_parameter_file(const std::string& path);

// Reads the whole parameter file. Throws a Failure (file_error) when it
// cannot be read, or when it is larger than 1 MiB (a parameter file is a few
// lines; this keeps a device or an endless file from hanging the run).
std::string read_parameter_file(const FileDescriptor& file, const std::string& path);

// The pedigree file, opened for writing without touching its contents; a
// missing one is created empty. Throws a Failure (file_error) when it cannot
// be opened.
FileDescriptor open_pedigree_file(const std::string& path);

// Writes the pedigree file from its start: empties a regular file, then
// takes blocks of text. Every failure, the final close included, throws a
// Failure (file_error) naming the file and the system's reason.
class PedigreeOutput final : public BlockSink {
public:
    PedigreeOutput(FileDescriptor file, std::string path);
    void write(const char* data, std::size_t size) override;
    // Closes the file; a failure here is a failed write too.
    void finish();

private:
    [[noreturn]] void fail(const char* action) const;

    FileDescriptor file_;
    std::string path_;
};

}  // namespace pedsim
