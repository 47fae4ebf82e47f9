// The exit statuses of every program of the project, in one table. A number
// keeps its meaning from one program to the next where the programs share
// it (0, 3 and 4); 1 and 2 name, for each program, the refusal it stands
// for. Each program's --help and manual page list the statuses it uses.
#pragma once

namespace pedsim {

enum class ExitStatus : int {
    success = 0,  // the work is done; pedsim also after its protocol message

    // 1: an input is read but refused.
    bad_parameter_file = 1,  // pedsim: "parpop" is unreadable as a parameter record
    input_refused = 1,       // pedsim-stats: the pedigree or the design file is refused

    // 2: what the user asked for is refused.
    refused_parameters = 2,  // pedsim: the parameters break a limit of the pedigree
    usage_refused = 2,       // pedsim-stats: the command line is refused

    out_of_memory = 3,  // a table's size overflows or cannot be allocated
    file_error = 4,     // a file cannot be opened, read or written
};

}  // namespace pedsim
