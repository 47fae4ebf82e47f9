#include "shell/mapped_file.h"

#include <errno.h>  // program_invocation_short_name
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>

#include "common/exit_status.h"

namespace pedsim::shell {

struct MappedFile::Guard {
    const char* begin = nullptr;
    std::size_t size = 0;
    std::string message;  // the whole line the handler writes
    std::size_t slot = 0;
};

namespace {

// Files mapped at once: one per pedigree a replicate study's threads read.
constexpr std::size_t most_mapped = 64;

std::array<std::atomic<const MappedFile::Guard*>, most_mapped> guarded_slots{};
struct sigaction action_before_guard {};

void write_all(const std::string& line)
{
    for (std::size_t written = 0; written < line.size();) {
        const ssize_t wrote = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return;
        written += static_cast<std::size_t>(wrote);
    }
}

// Only async-signal-safe calls: write, _exit, sigaction, raise.
void on_bus_error(int, siginfo_t* info, void*)
{
    const bool fault = info->si_code > 0;  // not sent by kill() or raise()
    const char* address = static_cast<const char*>(info->si_addr);
    for (const auto& slot : guarded_slots) {
        const MappedFile::Guard* guard = slot.load(std::memory_order_acquire);
        if (fault && guard != nullptr && address >= guard->begin &&
            address < guard->begin + guard->size) {
            write_all(guard->message);
            ::_exit(static_cast<int>(common::ExitStatus::file_error));
        }
    }
    // Not a mapped file's page: the action there was before the guard takes
    // the signal, a fault when the access runs again, a sent signal sent
    // again (held until this handler returns).
    ::sigaction(SIGBUS, &action_before_guard, nullptr);
    if (!fault) ::raise(SIGBUS);
}

void install_handler()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_sigaction = on_bus_error;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &action_before_guard);
    });
}

// A free slot taken for `guard`; false when every slot is taken.
bool take_slot(MappedFile::Guard& guard)
{
    for (std::size_t k = 0; k < most_mapped; ++k) {
        const MappedFile::Guard* empty = nullptr;
        if (guarded_slots[k].compare_exchange_strong(empty, &guard, std::memory_order_acq_rel)) {
            guard.slot = k;
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<MappedFile> MappedFile::map(const common::FileDescriptor& file, std::size_t size,
                                          const std::string& name)
{
    install_handler();
    auto guard = std::make_unique<Guard>();
    guard->size = size;
    guard->message = std::string(program_invocation_short_name) + ": " + name +
                     ": the file shrank while it was read; run again once nothing is writing it\n";
    // Populated at once: one call fills the page tables where faults would,
    // page by page.
    void* pages = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.get(), 0);
    if (pages == MAP_FAILED) return std::nullopt;
    guard->begin = static_cast<const char*>(pages);
    if (!take_slot(*guard)) {
        ::munmap(pages, size);
        return std::nullopt;
    }
    return MappedFile(std::move(guard));
}

MappedFile::MappedFile(std::unique_ptr<Guard> guard) : guard_(std::move(guard)) {}

MappedFile::MappedFile(MappedFile&&) noexcept = default;

MappedFile::~MappedFile()
{
    if (!guard_) return;  // moved from
    guarded_slots[guard_->slot].store(nullptr, std::memory_order_release);
    ::munmap(const_cast<char*>(guard_->begin), guard_->size);
}

std::string_view MappedFile::text() const { return {guard_->begin, guard_->size}; }

}  // namespace pedsim::shell
