// A new version of a file, written beside it and renamed over it at the end,
// so that a run never leaves a partial file behind.
#pragma once

#include <sys/types.h>

#include <string>

#include "common/files.h"

namespace pedsim::common {

// The temporary file is made in the directory of `path` (of its target, when
// `path` is a symbolic link, so that the link stays a link), with `mode` as
// its permission bits. Until replace() the file at `path` stays as it was;
// the object's end without replace() removes the temporary file, and so do
// SIGTERM, SIGINT and SIGHUP, which then end the process as they would have,
// whatever the number of replacement files made. The handler's list of
// temporary files belongs to the process: replacement files are made by one
// thread at a time.
class ReplacementFile {
public:
    struct Removal;  // a temporary file in the termination handler's list

    // When no temporary file can be made there, fd() is negative and errno
    // says why: the caller decides what to do instead. Throws a Failure
    // (file_error) naming `path` when the temporary file cannot take `mode`.
    ReplacementFile(const std::string& path, mode_t mode);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Where the new contents go; negative when no temporary file was made.
    int fd() const { return file_.get(); }
    // Flushes the new contents to the disk and renames them over the file.
    // Throws a Failure (file_error) naming the file, the temporary removed.
    void replace();

private:
    [[noreturn]] void fail(const char* action);
    void discard();

    std::string path_;       // as messages name it
    std::string target_;     // the file the rename replaces
    std::string temporary_;  // empty once renamed or removed
    FileDescriptor file_;
    Removal* removal_ = nullptr;  // where the termination handler knows the temporary file
};

}  // namespace pedsim::common
