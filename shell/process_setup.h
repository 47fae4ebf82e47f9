// The state of the process that every program relies on before it opens any
// file.
#pragma once

namespace pedsim::shell {

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
// no file the program opens takes one of those numbers (a message meant for
// standard output or standard error would then land in that file). Ignores
// SIGPIPE and SIGXFSZ, so that a write to a closed pipe or beyond the file
// size limit fails with an error the program reports instead of ending it
// silently. Keeps freed blocks below 64 MiB in the heap for reuse, and one
// heap for all threads (see process_setup.cpp). process_setup.cpp also
// replaces every program's operator new, whose large blocks ask for
// transparent huge pages.
void prepare_process();

// True where this build's operator new asks for transparent huge pages for
// its large blocks: every build but those under a sanitizer, whose own
// operator new stays.
bool large_blocks_ask_for_huge_pages();

// Which of standard output and standard error are closed: a table bound for
// one would go to the /dev/null that prepare_process puts there, so
// run_program asks before it, for the program to refuse such a table.
struct ClosedStreams {
    bool output = false;  // descriptor 1
    bool error = false;   // descriptor 2
};
ClosedStreams closed_streams();

}  // namespace pedsim::shell
