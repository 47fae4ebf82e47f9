// The two files of a run, "parpop" and "pedig", in the working directory.
#pragma once

#include <cstddef>
#include <string>

namespace pedsim {

// An open file descriptor, closed when the object goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    ~FileDescriptor();
    int get() const { return fd_; }
    // Closes now; returns the descriptor's close() status (0 on success).
    int close();

private:
    int fd_;
};

// Writes all `size` bytes at `data` to `fd`, going on after a signal
// interrupts the write. Returns false, errno saying why, when a write fails
// or makes no progress.
bool write_fully(int fd, const char* data, std::size_t size);

// The parameter file, opened for reading.
struct ParameterFile {
    FileDescriptor file;
    bool created = false;  // it was missing, and the open created it empty
};

// Opens the parameter file; a missing one is created empty, so that the
// user finds where to write the parameters. Throws a Failure (file_error)
// when it cannot be opened.
ParameterFile open_parameter_file(const std::string& path);

// Reads the whole parameter file. Throws a Failure (file_error) when it
// cannot be read, or when it is larger than 1 MiB (a parameter file is a few
// lines; this keeps a device or an endless file from hanging the run), and
// a Failure (bad_parameter_file) saying so when the open had to create it.
std::string read_parameter_file(const ParameterFile& parameters, const std::string& path);

// The pedigree file, opened for writing without touching its contents; a
// missing one is created empty. Throws a Failure (file_error) when it cannot
// be opened.
FileDescriptor open_pedigree_file(const std::string& path);

}  // namespace pedsim
