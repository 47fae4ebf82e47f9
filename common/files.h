// Files as every program uses them: descriptors that close themselves,
// system calls retried when a signal interrupts them, whole reads and whole
// writes, and the one message for a file that cannot be used.
#pragma once

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>

namespace pedsim::common {

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

// Calls `call` (a system call returning a negative value on failure) again
// for as long as it fails because a signal interrupted it; returns its last
// result, errno saying why when that is a failure.
template <class Call>
auto retrying(Call&& call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result < 0 && errno == EINTR);
    return result;
}

// open(path, flags), closed on exec, a created file getting 0666 less the
// umask. Returns the descriptor, or a negative value with errno set.
int open_file(const std::string& path, int flags);

// Throws a Failure (file_error) "NAME: cannot ACTION: REASON", the reason
// being the system's text for `error`.
[[noreturn]] void fail_on_file(const std::string& name, const char* action, int error);

// Appends `file` to `text` up to its end, or up to the first block that
// takes `text` beyond `largest` bytes; returns false then. Throws a Failure
// (file_error) naming `name` when the file cannot be read.
bool read_up_to(const FileDescriptor& file, const std::string& name, std::size_t largest,
                std::string& text);

// Reads `file` to its end. Throws a Failure (file_error) naming `name` when
// it cannot be read.
std::string read_to_end(const FileDescriptor& file, const std::string& name);

// Writes all `size` bytes at `data` to `fd`, going on after a signal
// interrupts the write. Returns false, errno saying why, when a write fails
// or makes no progress.
bool write_fully(int fd, const char* data, std::size_t size);

// Makes `directory` and its missing parents, as an output directory
// (--numeric DIR) needs; nothing when it exists. Throws a Failure
// (file_error) "DIRECTORY: cannot create the directory: REASON".
void make_directories(const std::string& directory);

// Writes `text` to standard error as write_fully does, for a line meant for a
// person at a terminal: a failure there has nowhere to be reported, so it is
// ignored.
void write_to_terminal(std::string_view text);

}  // namespace pedsim::common
