#include "files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "failure.h"

namespace pedsim {

namespace {

constexpr std::size_t largest_parameter_file = 1 << 20;

int open_retrying(const std::string& path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

FileDescriptor open_or_fail(const std::string& path, int flags)
{
    const int fd = open_retrying(path, flags | O_CREAT);
    if (fd < 0) fail_on_file(path, "open", errno);
    return FileDescriptor(fd);
}

// Reads `file` to its end, or up to the first block that takes it beyond
// `largest` bytes; returns false then.
bool read_up_to(const FileDescriptor& file, const std::string& name, std::size_t largest,
                std::string& text)
{
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail_on_file(name, "read", errno);
        if (got == 0) return true;
        text.append(block, static_cast<std::size_t>(got));
        if (text.size() > largest) return false;
    }
}

}  // namespace

void fail_on_file(const std::string& name, const char* action, int error)
{
    throw Failure(ExitStatus::file_error,
                  name + ": cannot " + action + ": " + std::strerror(error));
}

std::string read_to_end(const FileDescriptor& file, const std::string& name)
{
    std::string text;
    read_up_to(file, name, std::string::npos, text);
    return text;
}

std::string read_parameter_text(const FileDescriptor& file, const std::string& name)
{
    std::string text;
    if (!read_up_to(file, name, largest_parameter_file, text))
        throw Failure(ExitStatus::file_error,
                      name + ": larger than 1 MiB; a parameter file holds eight numbers and notes");
    return text;
}

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0) ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

int FileDescriptor::close()
{
    const int status = ::close(fd_);
    fd_ = -1;
    return status;
}

bool write_fully(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written == 0) errno = EIO;  // no progress and no reason given
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

ParameterFile open_parameter_file(const std::string& path)
{
    const int fd = open_retrying(path, O_RDONLY);
    if (fd >= 0) return {FileDescriptor(fd), false};
    if (errno != ENOENT) fail_on_file(path, "open", errno);
    return {open_or_fail(path, O_RDONLY), true};
}

FileDescriptor open_pedigree_file(const std::string& path) { return open_or_fail(path, O_WRONLY); }

std::string read_parameter_file(const ParameterFile& parameters, const std::string& path)
{
    std::string text = read_parameter_text(parameters.file, path);
    if (parameters.created && text.empty())
        throw Failure(ExitStatus::bad_parameter_file,
                      path + ": not found; created an empty one: write the seven counts and the "
                             "seed in it");
    return text;
}

}  // namespace pedsim
