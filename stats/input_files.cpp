#include "input_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "exit_status.h"
#include "files.h"
#include "parameter_checks.h"
#include "parameter_file.h"

namespace pedsim::stats {

namespace {

constexpr std::size_t largest_design_file = 1 << 20;

[[noreturn]] void fail(const std::string& name, const char* action, int error)
{
    throw Failure(ExitStatus::file_error,
                  name + ": cannot " + action + ": " + std::strerror(error));
}

FileDescriptor open_for_reading(const std::string& path)
{
    int fd = -1;
    do {
        fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail(input_name(path), "open", errno);
    return FileDescriptor(fd);
}

// Reads to the end; refuses more than `largest` bytes.
std::string read_all(const std::string& path, std::size_t largest)
{
    const FileDescriptor file = open_for_reading(path);
    std::string text;
    char block[1 << 16];
    for (;;) {
        const ssize_t got = ::read(file.get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail(input_name(path), "read", errno);
        if (got == 0) return text;
        text.append(block, static_cast<std::size_t>(got));
        if (text.size() > largest)
            throw Failure(ExitStatus::file_error,
                          input_name(path) + ": larger than 1 MiB, too large for a parameter file");
    }
}

// A refusal of the design: status input_refused, the file's name first.
[[noreturn]] void refuse_design(const std::string& path, const std::string& message)
{
    const std::string prefix = path + ": ";
    throw Failure(input_refused, message.starts_with(prefix) ? message : prefix + message);
}

}  // namespace

std::string input_name(const std::string& path) { return path == "-" ? "standard input" : path; }

std::string read_input(const std::string& path)
{
    return read_all(path, std::numeric_limits<std::size_t>::max());
}

Parameters read_design(const std::string& path)
{
    const std::string text = read_all(path, largest_design_file);
    const std::string name = input_name(path);
    Parameters p;
    try {
        p = parse_parameters(text, name);
        if (check_parameters(p, name) == Verdict::runs) return p;
    } catch (const Failure& failure) {
        refuse_design(name, failure.what());
    }
    refuse_design(name, "the protocol's " + std::to_string(std::int64_t{p.nsirep} * p.ndpsp) +
                            " dams (nsirep*ndpsp) exceed half the " +
                            std::to_string(std::int64_t{p.nsire} * p.ndps * p.noff) +
                            " offspring of a generation (nsire*ndps*noff): pedsim writes no "
                            "pedigree for this design");
}

}  // namespace pedsim::stats
