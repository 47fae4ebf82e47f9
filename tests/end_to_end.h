// Runs the built program as a user runs it: in a fresh temporary directory,
// with its files written there first, its output and exit status captured,
// and a time limit so that a hang fails the test instead of blocking it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace end_to_end {

namespace fs = std::filesystem;

struct Run {
    int status = -1;         // exit status; -1 when the program did not exit by itself
    int signal = 0;          // the signal that ended it, if one did
    bool timed_out = false;  // killed at the time limit
    std::string out;         // standard output
    std::string err;         // standard error
};

// The whole file, or nothing when there is no file.
inline std::optional<std::string> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void write_file(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// A launcher that runs the program with its standard input or output
// redirected, e.g. redirected(">&-") for a closed standard output.
inline std::vector<std::string> redirected(const std::string& redirection)
{
    return {"/bin/sh", "-c", "exec \"$0\" \"$@\" " + redirection};
}

// A command line the program must refuse before it reads anything: its
// arguments, the launcher that runs it (redirected(">&-"), say), the exit
// status and the start of the one line on standard error.
struct RefusedCommand {
    const char* what;
    std::vector<std::string> args;
    std::vector<std::string> launcher;
    int status;
    std::string message;
};

[[noreturn]] inline void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

// A fresh temporary directory, removed with all it holds when the object
// goes. The program runs in its subdirectory "work", so that the captured
// output never stands beside "parpop" and "pedig".
class Sandbox {
public:
    Sandbox()
    {
        std::string pattern = (fs::temp_directory_path() / "pedsim-e2e-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
        root_ = pattern;
        fs::create_directory(dir());
    }
    ~Sandbox()
    {
        std::error_code ignored;  // remove_all removes a symbolic link, never its target
        fs::remove_all(root_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    fs::path dir() const { return root_ / "work"; }
    fs::path path(const std::string& name) const { return dir() / name; }
    void write(const std::string& name, const std::string& text) const
    {
        write_file(path(name), text);
    }
    std::optional<std::string> read(const std::string& name) const { return read_file(path(name)); }

    // Runs `program` (by default pedsim) in dir(), with `args` after its name
    // and standard input empty; kills it when it runs longer than `limit`. A
    // `launcher` (a program and its arguments, e.g. prlimit) runs the program
    // instead.
    Run run(const std::vector<std::string>& args = {},
            std::chrono::milliseconds limit = std::chrono::seconds(60),
            const std::vector<std::string>& launcher = {},
            const std::string& program = PEDSIM_BINARY) const
    {
        return wait(start(args, launcher, program), limit);
    }

    // Starts the program as run() does and returns at once with its process id.
    pid_t start(const std::vector<std::string>& args = {},
                const std::vector<std::string>& launcher = {},
                const std::string& program = PEDSIM_BINARY) const
    {
        const std::string work = dir().string(), out = output_path(), err = error_path();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addchdir_np(&actions, work.c_str());
        std::vector<std::string> words = launcher;
        words.push_back(program);
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        const int error =
            ::posix_spawn(&pid, words[0].c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            throw std::system_error(error, std::generic_category(), "posix_spawn " + words[0]);
        return pid;
    }

    // Waits for a program start() began, killing it after `limit`, and
    // collects its outcome.
    Run wait(pid_t pid, std::chrono::milliseconds limit = std::chrono::seconds(60)) const
    {
        Run run;
        int wait_status = 0;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            const pid_t done = ::waitpid(pid, &wait_status, WNOHANG);
            if (done == pid) break;
            if (done < 0 && errno != EINTR) fail("waitpid");
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &wait_status, 0);
                run.timed_out = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (WIFEXITED(wait_status)) run.status = WEXITSTATUS(wait_status);
        if (WIFSIGNALED(wait_status)) run.signal = WTERMSIG(wait_status);
        run.out = read_file(output_path()).value_or("");
        run.err = read_file(error_path()).value_or("");
        return run;
    }

private:
    std::string output_path() const { return (root_ / "stdout").string(); }
    std::string error_path() const { return (root_ / "stderr").string(); }

    fs::path root_;
};

}  // namespace end_to_end
