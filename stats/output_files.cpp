#include "output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "common/files.h"
#include "common/replacement_file.h"

namespace pedsim::stats {

namespace {

void write_all(int fd, const std::string& text, const std::string& name)
{
    if (!write_fully(fd, text.data(), text.size())) fail_on_file(name, "write", errno);
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

// Writes straight into a device or a pipe.
void write_directly(const std::string& path, const std::string& text)
{
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (file.get() < 0) fail_on_file(path, "open", errno);
    write_all(file.get(), text, path);
    if (file.close() != 0) fail_on_file(path, "write", errno);
}

// A replacement for `path` holding `text`, not yet renamed into place.
std::unique_ptr<ReplacementFile>
prepare_replacement(const std::string& path, const std::string& text, const struct stat* existing)
{
    auto replacement = std::make_unique<ReplacementFile>(path, mode_for(existing));
    if (replacement->fd() < 0) fail_on_file(path, "create a temporary file beside it", errno);
    write_all(replacement->fd(), text, path);
    return replacement;
}

}  // namespace

void write_outputs(std::span<const Output> outputs)
{
    std::vector<std::unique_ptr<ReplacementFile>> replacements;
    for (const Output& output : outputs) {
        if (output.path.empty()) continue;
        struct stat status {};
        const bool exists = ::stat(output.path.c_str(), &status) == 0;
        if (exists && !S_ISREG(status.st_mode)) {
            write_directly(output.path, output.text);
            continue;
        }
        replacements.push_back(
            prepare_replacement(output.path, output.text, exists ? &status : nullptr));
    }
    for (const Output& output : outputs)
        if (output.path.empty()) write_all(STDOUT_FILENO, output.text, "standard output");
    for (const auto& replacement : replacements) replacement->replace();
}

}  // namespace pedsim::stats
