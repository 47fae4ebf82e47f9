#include "output_files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "failure.h"
#include "files.h"

namespace pedsim::stats {

namespace {

[[noreturn]] void fail(const std::string& name, const char* action)
{
    throw Failure(ExitStatus::file_error,
                  name + ": cannot " + action + ": " + std::strerror(errno));
}

void write_all(int fd, const std::string& text, const std::string& name)
{
    if (!write_fully(fd, text.data(), text.size())) fail(name, "write");
}

// The mode a new file gets from open(), 0666 less the umask; an existing
// file's own mode.
mode_t mode_for(const struct stat* existing)
{
    if (existing != nullptr) return existing->st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A temporary file beside its destination, renamed over it once filled;
// removed when the object goes before that.
class Replacement {
public:
    explicit Replacement(const std::string& path)
        : path_(path), temporary_(path + ".XXXXXX"), fd_(::mkostemp(temporary_.data(), O_CLOEXEC))
    {
        if (fd_ < 0) fail(path_, "create a temporary file beside it");
    }
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement()
    {
        if (fd_ >= 0) ::close(fd_);
        if (!placed_) ::unlink(temporary_.c_str());
    }
    void fill(const std::string& text, mode_t mode)
    {
        if (::fchmod(fd_, mode) != 0) fail(path_, "set the mode of a temporary file");
        write_all(fd_, text, path_);
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0) fail(path_, "write");
    }
    void put_in_place()
    {
        if (::rename(temporary_.c_str(), path_.c_str()) != 0) fail(path_, "replace");
        placed_ = true;
    }

private:
    std::string path_, temporary_;
    int fd_;
    bool placed_ = false;
};

// Writes straight into a device or a pipe.
void write_directly(const std::string& path, const std::string& text)
{
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (file.get() < 0) fail(path, "open");
    write_all(file.get(), text, path);
    if (file.close() != 0) fail(path, "write");
}

}  // namespace

void write_outputs(std::span<const Output> outputs)
{
    std::vector<std::unique_ptr<Replacement>> replacements;
    for (const Output& output : outputs) {
        if (output.path.empty()) continue;
        struct stat status {};
        const bool exists = ::stat(output.path.c_str(), &status) == 0;
        if (exists && !S_ISREG(status.st_mode)) {
            write_directly(output.path, output.text);
            continue;
        }
        replacements.push_back(std::make_unique<Replacement>(output.path));
        replacements.back()->fill(output.text, mode_for(exists ? &status : nullptr));
    }
    for (const Output& output : outputs)
        if (output.path.empty()) write_all(STDOUT_FILENO, output.text, "standard output");
    for (const auto& replacement : replacements) replacement->put_in_place();
}

}  // namespace pedsim::stats
