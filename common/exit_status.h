// The exit statuses of every program of the project, in one table. Each
// number means one thing in every program, and its name says what happened;
// each program's --help and manual page list the statuses it uses. The
// numbers are those pedsim has always returned, which its callers rely on.
#pragma once

namespace pedsim::common {

enum class ExitStatus : int {
    success = 0,  // the work is done; pedsim also after its protocol message

    // An input was read and refused: pedsim's parpop is not a parameter
    // record; a pedigree, a model or a design file is not what it must be.
    input_refused = 1,

    // What the run was asked to do is refused: pedsim's parameters break a
    // limit of the pedigree; a command line is refused.
    request_refused = 2,

    out_of_memory = 3,  // a table's size overflows or cannot be allocated
    file_error = 4,     // a file cannot be opened, read or written
};

}  // namespace pedsim::common
