#include "shell/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "common/files.h"

namespace pedsim::shell {

namespace {

constexpr auto quiet_time = std::chrono::seconds(1);

}  // namespace

TerminalProgress::TerminalProgress(std::string_view program)
    : program_(program), terminal_(::isatty(STDERR_FILENO) == 1),
      start_(std::chrono::steady_clock::now())
{}

TerminalProgress::~TerminalProgress() { erase(); }

void TerminalProgress::report(std::string_view stage, double done)
{
    if (!terminal_ || std::chrono::steady_clock::now() - start_ < quiet_time) return;
    const int percent = static_cast<int>(std::floor(std::clamp(done, 0.0, 1.0) * 100));
    if (shown_width_ > 0 && percent == percent_ && stage == stage_) return;
    stage_ = stage;
    percent_ = percent;
    const std::string line = program_ + ": " + stage_ + ' ' + std::to_string(percent) + '%';
    // Blanks cover what is left of a longer line shown before.
    const std::size_t cover = shown_width_ > line.size() ? shown_width_ - line.size() : 0;
    common::write_to_terminal('\r' + line + std::string(cover, ' '));
    shown_width_ = line.size();
}

ProgressReport TerminalProgress::callback()
{
    return [this](std::string_view stage, double done) { report(stage, done); };
}

void TerminalProgress::erase()
{
    if (shown_width_ == 0) return;
    common::write_to_terminal('\r' + std::string(shown_width_, ' ') + '\r');
    shown_width_ = 0;
}

}  // namespace pedsim::shell
