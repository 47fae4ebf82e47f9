#include "shell/process_setup.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace pedsim::shell {

void prepare_process()
{
    for (int fd = 0; fd <= 2; ++fd) {
        // open() takes the lowest free number: the closed descriptor itself.
        if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDWR);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
}

ClosedStreams closed_streams()
{
    return {::fcntl(STDOUT_FILENO, F_GETFD) < 0, ::fcntl(STDERR_FILENO, F_GETFD) < 0};
}

}  // namespace pedsim::shell
