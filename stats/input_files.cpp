#include "input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/failure.h"
#include "common/files.h"
#include "compressed_input.h"
#include "parameter_checks.h"
#include "parameter_file.h"

namespace pedsim::stats {

namespace {

FileDescriptor open_for_reading(const std::string& path)
{
    const int fd = path == "-" ? ::dup(STDIN_FILENO) : open_file(path, O_RDONLY);
    if (fd < 0) fail_on_file(input_name(path), "open", errno);
    return FileDescriptor(fd);
}

// Reads `file` to its end into one string sized from the file's length when
// it has one, so that a large pedigree is held once, without the doubling of
// a growing buffer.
std::string read_whole(const FileDescriptor& file, const std::string& name)
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
        const ssize_t got =
            retrying([&] { return ::read(file.get(), text.data() + used, text.size() - used); });
        if (got < 0) fail_on_file(name, "read", errno);
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
    return decompressed(read_whole(open_for_reading(path), name), name);
}

Parameters read_design(const std::string& path)
{
    const std::string name = input_name(path);
    const std::string text = read_parameter_text(open_for_reading(path), name);
    return naming_file(name, ExitStatus::input_refused, [&] {
        Parameters p;
        try {
            p = parse_parameters(text, name);
            if (check_parameters(p, name) == Verdict::runs) return p;
        } catch (const Failure& failure) {
            // Whatever pedsim would do with the design, here it is an input refused.
            throw Failure(ExitStatus::input_refused, failure.place(), failure.message());
        }
        throw Failure(ExitStatus::input_refused,
                      "the protocol's " + std::to_string(std::int64_t{p.nsirep} * p.ndpsp) +
                          " dams (nsirep*ndpsp) exceed half the " +
                          std::to_string(std::int64_t{p.nsire} * p.ndps * p.noff) +
                          " offspring of a generation (nsire*ndps*noff): pedsim writes no "
                          "pedigree for this design");
    });
}

}  // namespace pedsim::stats
