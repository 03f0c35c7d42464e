#include "cli/progress.h"

#include <cstdio>

#include "platform/platform.h"

Progress::Progress(bool quiet) : shown_(!quiet && platform::error_is_terminal()) {}

void Progress::report(const char* name, int64_t done, int64_t total)
{
    if (!shown_) return;
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    const std::lock_guard<std::mutex> one_printer(printing_);
    show(name, percent);
}

void Progress::finish(const char* name)
{
    if (!shown_) return;
    const std::lock_guard<std::mutex> one_printer(printing_);
    if (name == phase_ && ended_) return;
    show(name, 100);
    end_phase();
}

void Progress::end_line()
{
    if (!shown_) return;
    const std::lock_guard<std::mutex> one_printer(printing_);
    if (phase_ == nullptr || ended_) return;
    show(phase_, 100);
    end_phase();
}

void Progress::show(const char* name, int percent)
{
    if (name == phase_ && !ended_ && percent <= percent_) return;
    phase_ = name;
    percent_ = percent;
    ended_ = false;
    std::fprintf(stderr, "\r%s %3d%%", name, percent);
    std::fflush(stderr);
}

void Progress::end_phase()
{
    std::fputc('\n', stderr);
    ended_ = true;
}
