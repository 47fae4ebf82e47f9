// The pedigree file's new contents, written so that a run never leaves a
// partial pedigree behind: into a temporary file beside "pedig", renamed
// over it once every line is written.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "common/files.h"
#include "common/replacement_file.h"
#include "sim/block_sink.h"

namespace pedsim::sim {

// Takes the text of the pedigree a block at a time and replaces the file.
//
// When `file` (the early-opened "pedig") is a regular file, the text goes to
// a new temporary file in the directory of "pedig" (of its target, when
// "pedig" is a symbolic link), which takes the old file's permission bits
// and replaces it by a rename in finish(). Until then the old file stays as
// it was; a failure, or the end of the object without finish(), removes the
// temporary file, and so does SIGTERM, SIGINT or SIGHUP before the rename.
// Where no temporary file can be made there (a directory without write
// permission), and when "pedig" is a device or a pipe, the text is written
// in place, a regular file being emptied first.
//
// Every failure throws a Failure (file_error) naming `path` and the
// system's reason.
class PedigreeOutput final : public BlockSink {
public:
    PedigreeOutput(common::FileDescriptor file, std::string path);

    // Sets aside room for `size` bytes in the temporary file, where the file
    // system can: a disk too full fails here, before any line is written, and
    // the file is laid out in one piece. Does nothing when writing in place.
    void reserve(std::size_t size);
    void write(const char* data, std::size_t size) override;
    // Completes the file: flushes it to the disk and renames it over
    // "pedig", or closes "pedig" when written in place.
    void finish();

private:
    [[noreturn]] void fail(const char* action) const;
    int fd() const;

    common::FileDescriptor pedigree_;  // "pedig" as opened at the start of the run
    std::string path_;                 // "pedig", as messages name it
    std::unique_ptr<common::ReplacementFile> replacement_;  // none when writing in place
};

}  // namespace pedsim::sim
