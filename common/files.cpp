#include "common/files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/failure.h"

namespace pedsim::common {

int open_file(const std::string& path, int flags)
{
    return retrying([&] { return ::open(path.c_str(), flags | O_CLOEXEC, 0666); });
}

void fail_on_file(const std::string& name, const char* action, int error)
{
    throw Failure(ExitStatus::file_error, Place{name},
                  std::string("cannot ") + action + ": " + std::strerror(error));
}

void make_directories(const std::string& directory)
{
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    if (error)
        throw Failure(ExitStatus::file_error, Place{directory},
                      "cannot create the directory: " + error.message());
}

bool read_up_to(const FileDescriptor& file, const std::string& name, std::size_t largest,
                std::string& text)
{
    char block[65536];
    for (;;) {
        const ssize_t got = retrying([&] { return ::read(file.get(), block, sizeof block); });
        if (got < 0) fail_on_file(name, "read", errno);
        if (got == 0) return true;
        text.append(block, static_cast<std::size_t>(got));
        if (text.size() > largest) return false;
    }
}

std::string read_to_end(const FileDescriptor& file, const std::string& name)
{
    std::string text;
    read_up_to(file, name, std::string::npos, text);
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
        const ssize_t written = retrying([&] { return ::write(fd, data, size); });
        if (written == 0) errno = EIO;  // no progress and no reason given
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void write_to_terminal(std::string_view text)
{
    static_cast<void>(write_fully(STDERR_FILENO, text.data(), text.size()));
}

}  // namespace pedsim::common
