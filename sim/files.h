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

// Throws a Failure (file_error) "NAME: cannot ACTION: REASON", the reason
// being the system's text for `error`.
[[noreturn]] void fail_on_file(const std::string& name, const char* action, int error);

// Reads `file` to its end. Throws a Failure (file_error) naming `name` when
// it cannot be read.
std::string read_to_end(const FileDescriptor& file, const std::string& name);

// The same for a parameter file, which is a few lines: more than 1 MiB is
// refused as a Failure (file_error), so that a device or an endless file
// cannot hang the run.
std::string read_parameter_text(const FileDescriptor& file, const std::string& name);

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

// Reads the whole parameter file as read_parameter_text does, and throws a
// Failure (bad_parameter_file) saying so when the open had to create it.
std::string read_parameter_file(const ParameterFile& parameters, const std::string& path);

// The pedigree file, opened for writing without touching its contents; a
// missing one is created empty. Throws a Failure (file_error) when it cannot
// be opened.
FileDescriptor open_pedigree_file(const std::string& path);

}  // namespace pedsim
