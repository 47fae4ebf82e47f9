#include "run_files.h"

#include <fcntl.h>

#include "common/failure.h"
#include "parameter_file.h"

namespace pedsim {

namespace {

FileDescriptor open_or_fail(const std::string& path, int flags)
{
    const int fd = open_file(path, flags | O_CREAT);
    if (fd < 0) fail_on_file(path, "open", errno);
    return FileDescriptor(fd);
}

}  // namespace

ParameterFile open_parameter_file(const std::string& path)
{
    const int fd = open_file(path, O_RDONLY);
    if (fd >= 0) return {FileDescriptor(fd), false};
    if (errno != ENOENT) fail_on_file(path, "open", errno);
    return {open_or_fail(path, O_RDONLY), true};
}

FileDescriptor open_pedigree_file(const std::string& path) { return open_or_fail(path, O_WRONLY); }

std::string read_parameter_file(const ParameterFile& parameters, const std::string& path)
{
    std::string text = read_parameter_text(parameters.file, path);
    if (parameters.created && text.empty())
        throw Failure(ExitStatus::bad_parameter_file, Place{path},
                      "not found; created an empty one: write the seven counts and the seed in it");
    return text;
}

}  // namespace pedsim
