#include "sim/pedigree_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pedsim::sim {

PedigreeOutput::PedigreeOutput(common::FileDescriptor file, std::string path)
    : pedigree_(std::move(file)), path_(std::move(path))
{
    struct stat status {};
    if (::fstat(pedigree_.get(), &status) != 0) fail("examine");
    if (!S_ISREG(status.st_mode)) return;  // a device or a pipe just takes the lines

    replacement_ = std::make_unique<common::ReplacementFile>(path_, status.st_mode & 07777);
    if (replacement_->fd() >= 0) return;
    // No temporary file where the rename could use it for lack of permission:
    // write in place. Any other reason, a full disk say, would leave a
    // truncated pedigree there, so it is a failure.
    replacement_.reset();
    if (errno != EACCES && errno != EPERM) fail("create a temporary file beside it");
    if (::ftruncate(pedigree_.get(), 0) != 0) fail("empty");
}

int PedigreeOutput::fd() const { return replacement_ ? replacement_->fd() : pedigree_.get(); }

void PedigreeOutput::reserve(std::size_t size)
{
    if (!replacement_ || size == 0) return;
    const int error = ::posix_fallocate(fd(), 0, static_cast<off_t>(size));
    // A file system that cannot reserve space just takes the writes as they come.
    if (error == 0 || error == EOPNOTSUPP || error == EINVAL) return;
    errno = error;
    fail("write");
}

void PedigreeOutput::write(const char* data, std::size_t size)
{
    if (!common::write_fully(fd(), data, size)) fail("write");
}

void PedigreeOutput::finish()
{
    if (!replacement_) {
        if (pedigree_.close() != 0) fail("write");
        return;
    }
    replacement_->replace();
    pedigree_.close();  // opened only to claim "pedig" early; nothing was written through it
}

void PedigreeOutput::fail(const char* action) const { common::fail_on_file(path_, action, errno); }

}  // namespace pedsim::sim
