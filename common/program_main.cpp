#include "common/program_main.h"

#include <iostream>
#include <new>

#include "common/failure.h"
#include "common/process_setup.h"

namespace pedsim {

int run_program(std::string_view program, const std::function<void(ClosedStreams)>& run)
{
    // Asked first: prepare_process puts /dev/null on a closed descriptor.
    const ClosedStreams closed = closed_streams();
    // A closed standard descriptor must not become an output file, and a
    // closed pipe or a file size limit is a write error to report.
    prepare_process();
    try {
        run(closed);
        return 0;
    } catch (const Failure& failure) {
        std::cerr << program << ": " << failure.what() << '\n';
        return static_cast<int>(failure.status());
    } catch (const std::bad_alloc&) {
        std::cerr << program << ": out of memory\n";
        return static_cast<int>(ExitStatus::out_of_memory);
    }
}

}  // namespace pedsim
