#include "shell/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/failure.h"
#include "common/files.h"
#include "shell/compressed_input.h"

namespace pedsim::shell {

common::FileDescriptor open_input(const std::string& path)
{
    const int fd = path == "-" ? ::dup(STDIN_FILENO) : common::open_file(path, O_RDONLY);
    if (fd < 0) common::fail_on_file(input_name(path), "open", errno);
    return common::FileDescriptor(fd);
}

namespace {

// Reads `file` to its end into one string sized from the file's length when
// it has one, so that a large pedigree is held once, without the doubling of
// a growing buffer.
std::string read_whole(const common::FileDescriptor& file, const std::string& name)
{
    constexpr std::size_t block = std::size_t{1} << 20;
    struct stat status {};
    std::string text;
    if (::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode))
        text.reserve(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t used = 0;
    bool checked = false;
    for (;;) {
        if (used == text.size()) text.resize(std::max(text.capacity(), used + block));
        const ssize_t got = common::retrying(
            [&] { return ::read(file.get(), text.data() + used, text.size() - used); });
        if (got < 0) common::fail_on_file(name, "read", errno);
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
        check_line_end({text.data(), used}, checked, name);
    }
    text.resize(used);
    return text;
}

}  // namespace

std::string input_name(const std::string& path) { return path == "-" ? "standard input" : path; }

std::string read_input(const std::string& path)
{
    const std::string name = input_name(path);
    return decompressed(read_whole(open_input(path), name), name);
}

InputText input_text(const std::string& path)
{
    const std::string name = input_name(path);
    const common::FileDescriptor file = open_input(path);
    struct stat status {};
    // Standard input, a pipe or a device is read: it may have no size, or
    // no end (/dev/zero), which the reading bounds.
    if (path != "-" && ::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_size > 0) {
        std::optional<MappedFile> mapped =
            MappedFile::map(file, static_cast<std::size_t>(status.st_size), name);
        if (mapped) {
            if (is_compressed(mapped->text()))
                return InputText(decompressed(std::string(mapped->text()), name));
            bool checked = false;
            check_line_end(mapped->text(), checked, name);
            return InputText(std::move(*mapped));
        }
    }
    return InputText(decompressed(read_whole(file, name), name));
}

}  // namespace pedsim::shell
