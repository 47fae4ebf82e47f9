#include "sim/run_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "common/failure.h"
#include "design/parameter_file.h"

namespace pedsim::sim {

namespace {

common::FileDescriptor open_or_fail(const std::string& path, int flags)
{
    const int fd = common::open_file(path, flags | O_CREAT);
    if (fd < 0) common::fail_on_file(path, "open", errno);
    return common::FileDescriptor(fd);
}

}  // namespace

ParameterFile open_parameter_file(const std::string& path)
{
    const int fd = common::open_file(path, O_RDONLY);
    if (fd >= 0) return {common::FileDescriptor(fd), false};
    if (errno != ENOENT) common::fail_on_file(path, "open", errno);
    return {open_or_fail(path, O_RDONLY), true};
}

common::FileDescriptor open_pedigree_file(const std::string& path)
{
    return open_or_fail(path, O_WRONLY);
}

void refuse_one_file(const ParameterFile& parameters, const common::FileDescriptor& pedigree,
                     const std::string& parameter_path, const std::string& pedigree_path)
{
    struct stat read {
    }, written{};
    if (::fstat(parameters.file.get(), &read) != 0 || ::fstat(pedigree.get(), &written) != 0)
        return;  // nothing shows them one file
    // Any number of names may share a character device (/dev/null).
    if (read.st_dev == written.st_dev && read.st_ino == written.st_ino && !S_ISCHR(read.st_mode))
        throw common::Failure(
            common::ExitStatus::file_error, common::Place{pedigree_path},
            "is the same file as " + parameter_path +
                "; writing the pedigree would destroy the parameters: remove the link");
}

std::string read_parameter_file(const ParameterFile& parameters, const std::string& path)
{
    std::string text = design::read_parameter_text(parameters.file, path);
    if (parameters.created && text.empty())
        throw common::Failure(
            common::ExitStatus::input_refused, common::Place{path},
            "not found; created an empty one: write the seven counts and the seed in it");
    return text;
}

}  // namespace pedsim::sim
