// The state of the process that pedsim relies on before it opens any file.
#pragma once

namespace pedsim {

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
// "parpop" and "pedig" never take those numbers (a message meant for
// standard output would then land in the pedigree). Ignores SIGPIPE and
// SIGXFSZ, so that a write to a closed pipe or beyond the file size limit
// fails with an error the program reports instead of ending it silently.
void prepare_process();

}  // namespace pedsim
