// A regular file's bytes mapped read-only into memory. The pages are the
// system's own cache of the file: neither zeroed nor copied, where reading it
// into a buffer does both (a tenth of the work on a herd book of a million
// animals).
//
// If the file shrinks while it is mapped (another program truncates it),
// touching its lost pages would end the program by SIGBUS. Instead it stops
// with one line on standard error, "PROGRAM: NAME: the file shrank while it
// was read; run again once nothing is writing it", and the status
// file_error. Any other SIGBUS takes the action it had before.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/files.h"

namespace pedsim::shell {

class MappedFile {
public:
    // The whole of `file`, a regular file of `size` bytes (size > 0), which
    // messages call `name`; nullopt when the system will not map it, or when
    // too many files are mapped at once: the caller reads it instead.
    static std::optional<MappedFile> map(const common::FileDescriptor& file, std::size_t size,
                                         const std::string& name);

    MappedFile(MappedFile&&) noexcept;
    MappedFile& operator=(MappedFile&&) = delete;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::string_view text() const;

    struct Guard;  // the mapping's place, watched by the SIGBUS handler

private:
    explicit MappedFile(std::unique_ptr<Guard> guard);
    std::unique_ptr<Guard> guard_;
};

}  // namespace pedsim::shell
