// The files pedsim-stats and pedsim-traits write, all or none: a failure
// leaves every file named as an output as it was.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pedsim::common {

struct Output {
    std::string path;    // the file; empty for a standard stream
    std::string text;    // its whole contents
    int descriptor = 1;  // with an empty path: 1 standard output, 2 standard error
};

// A file named on the command line, with the option or operand naming it.
struct NamedFile {
    std::string role;  // as messages name it: "-o", "--animals", "the pedigree"
    std::string path;  // "-": standard input or output, never compared
    // What an output holds, as messages name it: "the table"; empty for an input.
    std::string contents = {};
};

// Refuses, before anything is read, an output that is the same file as an
// input or as another output: the same device and inode for an existing file
// (standard input's own file for an input "-", standard output's own regular
// file for an output bound there), the same resolved path for a new one (its
// existing directories resolved, the rest of its path appended). Character
// devices (/dev/null) may take any number of outputs. Throws a Failure
// (request_refused) "ROLE PATH and ROLE PATH are one file; ...".
void refuse_shared_files(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs);

// Refuses, before anything is read, two inputs that are one file, by name or
// by identity as refuse_shared_files finds it (a hard link, "r1/pedig" and
// "./r1/pedig"): a Failure (request_refused) "ROLE PATH and ROLE PATH are one
// file; WHAT_TO_DO".
void refuse_repeated_inputs(std::span<const NamedFile> inputs, const std::string& what_to_do);

// Refuses, before anything is read, outputs that cannot all be written:
// two bound for standard output (names_standard_output, or an empty path for
// a table that goes there when its option is not given), a Failure
// (request_refused) "ROLE PATH and ROLE PATH both name standard output; ...
// (PROGRAM --help lists the options)"; any that refuse_shared_files refuses;
// and, when standard output was closed at the start, one bound for it, a
// Failure (file_error) "standard output: it is closed; give ROLE FILE to
// write CONTENTS to a file".
void refuse_unsafe_outputs(std::span<const NamedFile> inputs, std::span<const NamedFile> outputs,
                           bool standard_output_closed, std::string_view program);

// True when `path` names standard output: "-", /dev/stdout, /dev/fd/1 or
// /proc/self/fd/1 (also /proc/thread-self/fd/1 and /proc/PID/fd/1 with this
// process's PID), in any spelling of the path.
bool names_standard_output(const std::string& path);

// The path an output option names for write_outputs: empty for standard
// output (no option, or a name of standard output).
std::string output_path(const std::optional<std::string>& path);

// Writes each text in full. A regular file (or a new one) is written to a
// temporary file beside it, and all of them are renamed into place only once
// every text, those of standard output and standard error included, is
// written. A device, a pipe or
// any path under /dev or /proc takes its text in place, without a temporary
// file: /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N are written
// through the descriptor the process already holds, so that a shell's
// redirection (even ">>") gets the text where it expects it. Throws a
// Failure (file_error) "NAME: cannot ACTION: REASON" at the first failure,
// the temporary files removed.
void write_outputs(std::span<const Output> outputs);

}  // namespace pedsim::common
