#include "shell/program_main.h"

#include <iostream>
#include <new>

#include "common/failure.h"
#include "shell/process_setup.h"

namespace pedsim::shell {

int run_program(const FailureVoice& voice,
                const std::function<common::ExitStatus(ClosedStreams)>& run)
{
    // Asked first: prepare_process puts /dev/null on a closed descriptor.
    const ClosedStreams closed = closed_streams();
    // A closed standard descriptor must not become an output file, and a
    // closed pipe or a file size limit is a write error to report.
    prepare_process();
    try {
        return static_cast<int>(run(closed));
    } catch (const common::Failure& failure) {
        std::cerr << voice.prefix << failure.what() << '\n';
        return static_cast<int>(failure.status());
    } catch (const std::bad_alloc&) {
        std::cerr << voice.prefix << voice.out_of_memory << '\n';
        return static_cast<int>(common::ExitStatus::out_of_memory);
    }
}

}  // namespace pedsim::shell
