#include "input_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/files.h"
#include "exit_status.h"
#include "parameter_checks.h"
#include "parameter_file.h"

namespace pedsim::stats {

namespace {

FileDescriptor open_for_reading(const std::string& path)
{
    int fd = -1;
    do {
        fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail_on_file(input_name(path), "open", errno);
    return FileDescriptor(fd);
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
    return read_to_end(open_for_reading(path), input_name(path));
}

Parameters read_design(const std::string& path)
{
    const std::string name = input_name(path);
    const std::string text = read_parameter_text(open_for_reading(path), name);
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
