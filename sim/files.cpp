#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "failure.h"

namespace pedsim {

namespace {

constexpr std::size_t largest_parameter_file = 1 << 20;

[[noreturn]] void fail(const std::string& path, const char* action, int error)
{
    throw Failure(ExitStatus::file_error,
                  path + ": cannot " + action + ": " + std::strerror(error));
}

FileDescriptor open_or_fail(const std::string& path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail(path, "open", errno);
    return FileDescriptor(fd);
}

}  // namespace

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::close()
{
    const int status = ::close(fd_);
    fd_ = -1;
    return status;
}

FileDescriptor open_parameter_file(const std::string& path) { return open_or_fail(path, O_RDONLY); }

FileDescriptor open_pedigree_file(const std::string& path) { return open_or_fail(path, O_WRONLY); }

std::string read_parameter_file(const FileDescriptor& file, const std::string& path)
{
    std::string text;
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail(path, "read", errno);
        if (got == 0) return text;
        text.append(block, static_cast<std::size_t>(got));
        if (text.size() > largest_parameter_file)
            throw Failure(
                ExitStatus::file_error,
                path + ": larger than 1 MiB; a parameter file holds eight numbers and notes");
    }
}

PedigreeOutput::PedigreeOutput(FileDescriptor file, std::string path)
    : file_(std::move(file)), path_(std::move(path))
{
    // Only a regular file can be emptied; a device or a pipe just takes the lines.
    struct stat status {};
    if (::fstat(file_.get(), &status) != 0) fail("examine");
    if (S_ISREG(status.st_mode) && ::ftruncate(file_.get(), 0) != 0) fail("empty");
}

void PedigreeOutput::write(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(file_.get(), data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written == 0) errno = EIO;  // no progress and no reason given
        if (written <= 0) fail("write");
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void PedigreeOutput::finish()
{
    if (file_.close() != 0) fail("write");
}

void PedigreeOutput::fail(const char* action) const { pedsim::fail(path_, action, errno); }

}  // namespace pedsim
