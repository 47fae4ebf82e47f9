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

namespace pedsim::common {

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

// The descriptor that /dev/stdout, /dev/stderr, /dev/fd/N or
// /proc/{self,thread-self,PID}/fd/N names, in any spelling of the path
// ("../../dev/./stdout"), PID being this process's; -1 for any other path.
int descriptor_named(const std::string& path)
{
    std::error_code error;
    const std::string spelled = std::filesystem::absolute(path, error).lexically_normal().string();
    if (error) return -1;
    if (spelled == "/dev/stdout") return STDOUT_FILENO;
    if (spelled == "/dev/stderr") return STDERR_FILENO;
    const std::string own = "/proc/" + std::to_string(::getpid()) + "/fd/";
    for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/"})
        if (spelled.starts_with(prefix) || spelled.starts_with(own)) {
            const std::size_t after = spelled.starts_with(own) ? own.size() : prefix.size();
            int fd = -1;
            const char* digits = spelled.c_str() + after;
            const char* end = spelled.c_str() + spelled.size();
            const auto [stop, failed] = std::from_chars(digits, end, fd);
            if (failed == std::errc() && stop == end && digits != end) return fd;
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

// An existing file's identity; none for a character device (/dev/null),
// which any number of outputs may share.
std::optional<Identity> existing_identity(const struct stat& status)
{
    if (S_ISCHR(status.st_mode)) return std::nullopt;
    return Identity{status.st_dev, status.st_ino, {}};
}

// A new file's identity: its path made absolute, the directories that exist
// resolved (symbolic links followed), the rest of the path appended as
// written, "." and ".." taken out; the path as written, "." and ".." taken
// out, when the working directory cannot be found.
Identity new_file_identity(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    std::filesystem::path resolved;
    if (!error) resolved = std::filesystem::weakly_canonical(absolute, error);
    if (error) resolved = std::filesystem::path(path).lexically_normal();
    return Identity{0, 0, resolved.string()};
}

// What an input is: standard input's file for "-".
std::optional<Identity> input_identity(const std::string& path)
{
    struct stat status {};
    if (path == "-")
        return ::fstat(STDIN_FILENO, &status) == 0 ? existing_identity(status) : std::nullopt;
    if (::stat(path.c_str(), &status) == 0) return existing_identity(status);
    return new_file_identity(path);
}

// What an output writes over: for one bound for standard output, standard
// output's own file when that is a regular file (a pipe or a terminal is
// nothing another name could reach).
std::optional<Identity> output_identity(const std::string& path)
{
    struct stat status {};
    if (path.empty() || names_standard_output(path))
        return ::fstat(STDOUT_FILENO, &status) == 0 && S_ISREG(status.st_mode)
                   ? existing_identity(status)
                   : std::nullopt;
    if (::stat(path.c_str(), &status) == 0) return existing_identity(status);
    return new_file_identity(path);
}

std::string spelled(const NamedFile& file)
{
    return file.role + " " + (file.path.empty() ? "(standard output)" : file.path);
}

[[noreturn]] void refuse_one_file(const NamedFile& first, const NamedFile& second,
                                  const std::string& what_to_do)
{
    throw Failure(ExitStatus::request_refused,
                  spelled(first) + " and " + spelled(second) + " are one file; " + what_to_do);
}

bool bound_for_standard_output(const NamedFile& output)
{
    return output.path.empty() || names_standard_output(output.path);
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
        throw Failure(ExitStatus::request_refused, spelled(*second) + " and " + first->contents +
                                                       " both go to standard output; give " +
                                                       first->role + " FILE for " +
                                                       first->contents + hint);
    throw Failure(ExitStatus::request_refused,
                  spelled(*first) + " and " + spelled(*second) +
                      " both name standard output; send one of the tables to a file" + hint);
}

}  // namespace

void refuse_unsafe_outputs(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs,
                           bool standard_output_closed, std::string_view program)
{
    refuse_two_standard_outputs(outputs, program);
    refuse_shared_files(inputs, outputs);
    const auto closed = std::ranges::find_if(outputs, bound_for_standard_output);
    if (standard_output_closed && closed != outputs.end())
        throw Failure(ExitStatus::file_error, "standard output: it is closed; give " +
                                                  closed->role + " FILE to write " +
                                                  closed->contents + " to a file");
}

void refuse_shared_files(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs)
{
    std::vector<std::optional<Identity>> written;
    for (const NamedFile& output : outputs) written.push_back(output_identity(output.path));
    for (const NamedFile& input : inputs) {
        const std::optional<Identity> read = input_identity(input.path);
        for (std::size_t k = 0; k < outputs.size(); ++k)
            if (read && read == written[k])
                refuse_one_file(input, outputs[k],
                                "writing there would destroy the input: choose another output "
                                "file");
    }
    for (std::size_t k = 0; k < outputs.size(); ++k)
        for (std::size_t j = 0; j < k; ++j)
            if (written[k] && written[k] == written[j])
                refuse_one_file(outputs[j], outputs[k], "give each table its own file");
}

void refuse_repeated_inputs(std::span<const NamedFile> inputs, const std::string& what_to_do)
{
    std::vector<std::optional<Identity>> read;
    for (const NamedFile& input : inputs) read.push_back(input_identity(input.path));
    for (std::size_t k = 0; k < inputs.size(); ++k)
        for (std::size_t j = 0; j < k; ++j)
            if (inputs[k].path == inputs[j].path || (read[k] && read[k] == read[j]))
                refuse_one_file(inputs[j], inputs[k], what_to_do);
}

bool names_standard_output(const std::string& path)
{
    return path == "-" || descriptor_named(path) == STDOUT_FILENO;
}

std::string output_path(const std::optional<std::string>& path)
{
    return !path || names_standard_output(*path) ? std::string() : *path;
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
        if (output.path.empty())
            write_all(output.descriptor, output.text,
                      output.descriptor == STDERR_FILENO ? "standard error" : "standard output");
    for (const auto& replacement : replacements) replacement->replace();
}

}  // namespace pedsim::common
