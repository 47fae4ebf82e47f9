#include "pedigree_output.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "failure.h"

namespace pedsim {

namespace {

// The temporary file a termination signal must remove, kept where the
// handler may read it without allocating: it is set before the first write
// and cleared once the file is renamed or removed.
char pending_removal[PATH_MAX];
volatile std::sig_atomic_t removal_pending = 0;

extern "C" void remove_temporary_and_end(int signal_number)
{
    if (removal_pending) ::unlink(pending_removal);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

constexpr int termination_signals[] = {SIGTERM, SIGINT, SIGHUP};

sigset_t termination_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : termination_signals) sigaddset(&set, signal_number);
    return set;
}

// Creates a temporary file from `name_template` that a termination signal
// removes. The signals wait while the file is made and registered, so that
// none can end the run with the file made but not yet known to the handler.
int create_removed_on_termination(std::string& name_template)
{
    const sigset_t set = termination_set();
    sigset_t previous;
    ::sigprocmask(SIG_BLOCK, &set, &previous);
    const int fd = ::mkostemp(name_template.data(), O_CLOEXEC);
    const int error = errno;
    if (fd >= 0 && name_template.size() < sizeof pending_removal) {
        std::memcpy(pending_removal, name_template.c_str(), name_template.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        removal_pending = 1;
        struct sigaction action {};
        action.sa_handler = remove_temporary_and_end;
        sigemptyset(&action.sa_mask);
        for (const int signal_number : termination_signals)
            ::sigaction(signal_number, &action, nullptr);
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return fd;
}

void forget_removal() { removal_pending = 0; }

// The file a rename must replace: "pedig" itself, or the file its symbolic
// links lead to, so that the links stay links.
std::string rename_target(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

PedigreeOutput::PedigreeOutput(FileDescriptor file, std::string path)
    : pedigree_(std::move(file)), temporary_(-1), path_(std::move(path))
{
    struct stat status {};
    if (::fstat(pedigree_.get(), &status) != 0) fail("examine");
    if (!S_ISREG(status.st_mode)) return;  // a device or a pipe just takes the lines

    target_ = rename_target(path_);
    const std::filesystem::path target(target_);
    std::string name = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
    const int fd = create_removed_on_termination(name);
    if (fd >= 0) {
        temporary_path_ = name;
        temporary_ = FileDescriptor(fd);
        if (::fchmod(fd, status.st_mode & 07777) != 0)
            fail("set the permissions of its replacement");
        return;
    }
    // No temporary file where the rename could use it: write in place.
    if (errno != EACCES && errno != EPERM) fail("create a temporary file beside it");
    if (::ftruncate(pedigree_.get(), 0) != 0) fail("empty");
}

PedigreeOutput::~PedigreeOutput() { discard_temporary(); }

void PedigreeOutput::reserve(std::size_t size)
{
    if (temporary_.get() < 0 || size == 0) return;
    const int error = ::posix_fallocate(temporary_.get(), 0, static_cast<off_t>(size));
    // A file system that cannot reserve space just takes the writes as they come.
    if (error == 0 || error == EOPNOTSUPP || error == EINVAL) return;
    errno = error;
    fail("write");
}

void PedigreeOutput::write(const char* data, std::size_t size)
{
    const int fd = temporary_.get() >= 0 ? temporary_.get() : pedigree_.get();
    if (!write_fully(fd, data, size)) fail("write");
}

void PedigreeOutput::finish()
{
    if (temporary_.get() < 0) {
        if (pedigree_.close() != 0) fail("write");
        return;
    }
    if (::fsync(temporary_.get()) != 0 || temporary_.close() != 0) fail("write");
    if (::rename(temporary_path_.c_str(), target_.c_str()) != 0) fail("replace");
    temporary_path_.clear();
    forget_removal();
    pedigree_.close();  // opened only to claim "pedig" early; nothing was written through it
}

void PedigreeOutput::fail(const char* action)
{
    const int error = errno;
    discard_temporary();
    throw Failure(ExitStatus::file_error,
                  path_ + ": cannot " + action + ": " + std::strerror(error));
}

void PedigreeOutput::discard_temporary()
{
    if (temporary_path_.empty()) return;
    ::unlink(temporary_path_.c_str());
    temporary_path_.clear();
    forget_removal();
}

}  // namespace pedsim
