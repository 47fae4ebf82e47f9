#include "common/output_files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

#include "common/failure.h"
#include "common/files.h"
#include "common/replacement_file.h"

namespace pedsim {

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

// The descriptor that /dev/stdout, /dev/stderr, /dev/fd/N or /proc/self/fd/N
// names; -1 for any other path.
int descriptor_named(const std::string& path)
{
    if (path == "/dev/stdout") return STDOUT_FILENO;
    if (path == "/dev/stderr") return STDERR_FILENO;
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (!path.starts_with(prefix)) continue;
        int fd = -1;
        const char* digits = path.c_str() + prefix.size();
        const char* end = path.c_str() + path.size();
        const auto [stop, error] = std::from_chars(digits, end, fd);
        if (error == std::errc() && stop == end && digits != end) return fd;
    }
    return -1;
}

// Writes straight into a device, a pipe or a file under /dev or /proc.
void write_in_place(const std::string& path, const std::string& text)
{
    const int held = descriptor_named(path);
    if (held >= 0 && ::fcntl(held, F_GETFD) >= 0) {
        write_all(held, text, path);
        return;
    }
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

// What makes two names one file: the device and inode of an existing file,
// the resolved path of a new one.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    std::string resolved;  // empty for an existing file

    bool operator==(const Identity&) const = default;
};

// The identity of `path` (standard input's file for "-" as an input); none
// for a character device, which any number of outputs may share, and for
// standard input or output when it is no file.
std::optional<Identity> identity_of(const std::string& path, bool input)
{
    struct stat status {};
    const bool exists = path == "-" ? input && ::fstat(STDIN_FILENO, &status) == 0
                                    : ::stat(path.c_str(), &status) == 0;
    if (exists) {
        if (S_ISCHR(status.st_mode)) return std::nullopt;
        return Identity{status.st_dev, status.st_ino, {}};
    }
    if (path == "-") return std::nullopt;
    const std::filesystem::path name(path);
    const std::filesystem::path parent = name.parent_path().empty() ? "." : name.parent_path();
    char resolved[PATH_MAX];
    const std::string directory =
        ::realpath(parent.c_str(), resolved) != nullptr ? resolved : parent.string();
    return Identity{0, 0, directory + '/' + name.filename().string()};
}

[[noreturn]] void refuse_one_file(const NamedFile& first, const NamedFile& second, bool input)
{
    const std::string names = first.role + " " + first.path + " and " + second.role + " " +
                              second.path + " are one file; ";
    throw Failure(ExitStatus::usage_refused,
                  names + (input ? "writing there would destroy the input: "
                                   "choose another output file"
                                 : "give each table its own file"));
}

bool bound_for_standard_output(const NamedFile& output)
{
    return output.path.empty() || output.path == "-";
}

// Refuses a second output bound for standard output; the first one found
// names the refusal.
void refuse_two_standard_outputs(std::span<const NamedFile> outputs, std::string_view program)
{
    const auto first = std::ranges::find_if(outputs, bound_for_standard_output);
    if (first == outputs.end()) return;
    const auto second = std::find_if(first + 1, outputs.end(), bound_for_standard_output);
    if (second == outputs.end()) return;
    const std::string hint = " (" + std::string(program) + " --help lists the options)";
    if (first->path.empty())
        throw Failure(ExitStatus::usage_refused, second->role + " - and " + first->contents +
                                                     " both go to standard output; give " +
                                                     first->role + " FILE for " + first->contents +
                                                     hint);
    throw Failure(ExitStatus::usage_refused,
                  first->role + " - and " + second->role +
                      " - both name standard output; send one of the tables "
                      "to a file" +
                      hint);
}

}  // namespace

void refuse_unsafe_outputs(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs,
                           bool standard_output_closed, std::string_view program)
{
    refuse_two_standard_outputs(outputs, program);
    std::vector<NamedFile> files;
    std::ranges::remove_copy_if(outputs, std::back_inserter(files),
                                [](const NamedFile& output) { return output.path.empty(); });
    refuse_shared_files(inputs, files);
    const auto closed = std::ranges::find_if(outputs, bound_for_standard_output);
    if (standard_output_closed && closed != outputs.end())
        throw Failure(ExitStatus::file_error, "standard output: it is closed; give " +
                                                  closed->role + " FILE to write " +
                                                  closed->contents + " to a file");
}

void refuse_shared_files(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs)
{
    std::vector<std::optional<Identity>> written;
    for (const NamedFile& output : outputs)
        written.push_back(output.path == "-" ? std::nullopt : identity_of(output.path, false));
    for (const NamedFile& input : inputs) {
        const std::optional<Identity> read = identity_of(input.path, true);
        for (std::size_t k = 0; k < outputs.size(); ++k)
            if (read && read == written[k]) refuse_one_file(input, outputs[k], true);
    }
    for (std::size_t k = 0; k < outputs.size(); ++k)
        for (std::size_t j = 0; j < k; ++j)
            if (written[k] && written[k] == written[j])
                refuse_one_file(outputs[j], outputs[k], false);
}

std::string output_path(const std::optional<std::string>& path)
{
    return !path || path == "-" ? std::string() : *path;
}

void write_outputs(std::span<const Output> outputs)
{
    std::vector<std::unique_ptr<ReplacementFile>> replacements;
    for (const Output& output : outputs) {
        if (output.path.empty()) continue;
        struct stat status {};
        const bool exists = ::stat(output.path.c_str(), &status) == 0;
        const bool system_path =
            output.path.starts_with("/dev/") || output.path.starts_with("/proc/");
        if (system_path || (exists && !S_ISREG(status.st_mode))) {
            write_in_place(output.path, output.text);
            continue;
        }
        replacements.push_back(
            prepare_replacement(output.path, output.text, exists ? &status : nullptr));
    }
    for (const Output& output : outputs)
        if (output.path.empty()) write_all(STDOUT_FILENO, output.text, "standard output");
    for (const auto& replacement : replacements) replacement->replace();
}

}  // namespace pedsim
