#include "common/replacement_file.h"

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
#include <memory>

namespace pedsim::common {

// A temporary file that a termination signal must remove. The nodes form a
// list that only grows: each is filled before it is published at the head,
// and never freed, so the handler may walk the list at any moment without
// allocating or locking, however many files a run makes.
struct ReplacementFile::Removal {
    std::unique_ptr<char[]> path;
    std::atomic<bool> pending{true};  // false once the file is renamed or removed
    Removal* next = nullptr;
};

namespace {

std::atomic<ReplacementFile::Removal*> removals{nullptr};
static_assert(std::atomic<ReplacementFile::Removal*>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the termination handler reads the list without locks");

extern "C" void remove_temporaries_and_end(int signal_number)
{
    for (const auto* removal = removals.load(); removal != nullptr; removal = removal->next)
        if (removal->pending.load()) ::unlink(removal->path.get());
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

constexpr int termination_signals[] = {SIGTERM, SIGINT, SIGHUP};

// Publishes `removal`, filled, at the head of the list, and makes sure the
// termination handler is installed.
void publish(ReplacementFile::Removal* removal)
{
    removal->next = removals.load();
    removals.store(removal);
    struct sigaction action {};
    action.sa_handler = remove_temporaries_and_end;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : termination_signals)
        ::sigaction(signal_number, &action, nullptr);
}

// Creates a temporary file from `name_template` that a termination signal
// removes, and returns its descriptor with its node in `removal` (nothing
// when no file was made). The node is allocated first, so that no
// allocation fails between the file's creation and its publication; the
// signals wait while the file is made and published, so that none can end
// the run with the file made but not yet known to the handler.
int create_removed_on_termination(std::string& name_template, ReplacementFile::Removal*& removal)
{
    auto node = std::make_unique<ReplacementFile::Removal>();
    node->path = std::make_unique<char[]>(name_template.size() + 1);
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : termination_signals) sigaddset(&set, signal_number);
    sigset_t previous;
    ::sigprocmask(SIG_BLOCK, &set, &previous);
    const int fd = ::mkostemp(name_template.data(), O_CLOEXEC);
    const int error = errno;
    if (fd >= 0) {
        std::memcpy(node->path.get(), name_template.c_str(), name_template.size() + 1);
        removal = node.release();  // from now on the list owns it, for the whole run
        publish(removal);
    }
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
    const int fd = create_removed_on_termination(name, removal_);
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
    removal_->pending.store(false);
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
    removal_->pending.store(false);
}

}  // namespace pedsim::common
