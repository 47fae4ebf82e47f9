#include "common/replacement_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace pedsim {

namespace {

// The temporary files a termination signal must remove, kept where the
// handler may read them without allocating. A slot is filled before the
// first write to its file and emptied once the file is renamed or removed.
struct Removal {
    char path[PATH_MAX];
    volatile std::sig_atomic_t pending;
};
std::array<Removal, 4> removals;

extern "C" void remove_temporaries_and_end(int signal_number)
{
    for (const Removal& removal : removals)
        if (removal.pending) ::unlink(removal.path);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

constexpr int termination_signals[] = {SIGTERM, SIGINT, SIGHUP};

// Registers `path` with the termination handler; returns its slot, or -1
// when every slot is taken (the file is then only removed by the program).
int register_removal(const std::string& path)
{
    for (std::size_t slot = 0; slot < removals.size(); ++slot) {
        Removal& removal = removals[slot];
        if (removal.pending || path.size() >= sizeof removal.path) continue;
        std::memcpy(removal.path, path.c_str(), path.size() + 1);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        removal.pending = 1;
        struct sigaction action {};
        action.sa_handler = remove_temporaries_and_end;
        sigemptyset(&action.sa_mask);
        for (const int signal_number : termination_signals)
            ::sigaction(signal_number, &action, nullptr);
        return static_cast<int>(slot);
    }
    return -1;
}

// Creates a temporary file from `name_template` that a termination signal
// removes, and sets `slot`. The signals wait while the file is made and
// registered, so that none can end the run with the file made but not yet
// known to the handler.
int create_removed_on_termination(std::string& name_template, int& slot)
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : termination_signals) sigaddset(&set, signal_number);
    sigset_t previous;
    ::sigprocmask(SIG_BLOCK, &set, &previous);
    const int fd = ::mkostemp(name_template.data(), O_CLOEXEC);
    const int error = errno;
    if (fd >= 0) slot = register_removal(name_template);
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return fd;
}

// The file a rename must replace: `path` itself, or the file its symbolic
// links lead to.
std::string rename_target(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& path, mode_t mode)
    : path_(path), target_(rename_target(path)), file_(-1)
{
    const std::filesystem::path target(target_);
    // "." + the file's name + ".XXXXXX" must itself be a valid name: the
    // file's name is cut so that a name of NAME_MAX bytes still has one.
    constexpr std::size_t added = sizeof ".." + sizeof "XXXXXX" - 2;
    const std::string base = target.filename().string().substr(0, NAME_MAX - added);
    std::string name = target.parent_path() / ("." + base + ".XXXXXX");
    const int fd = create_removed_on_termination(name, slot_);
    if (fd < 0) return;
    temporary_ = name;
    file_ = FileDescriptor(fd);
    if (::fchmod(fd, mode) != 0) fail("set the permissions of its replacement");
}

ReplacementFile::~ReplacementFile() { discard(); }

void ReplacementFile::replace()
{
    if (::fsync(file_.get()) != 0 || file_.close() != 0) fail("write");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail("replace");
    temporary_.clear();
    if (slot_ >= 0) removals[static_cast<std::size_t>(slot_)].pending = 0;
}

void ReplacementFile::fail(const char* action)
{
    const int error = errno;
    discard();
    fail_on_file(path_, action, error);
}

void ReplacementFile::discard()
{
    if (temporary_.empty()) return;
    ::unlink(temporary_.c_str());
    temporary_.clear();
    if (slot_ >= 0) removals[static_cast<std::size_t>(slot_)].pending = 0;
}

}  // namespace pedsim
