#include "cli/progress.h"

#include <cstdio>

#include "platform/platform.h"

Progress::Progress(bool quiet) : shown_(!quiet && platform::error_is_terminal()) {}

void Progress::report(const char* name, int64_t done, int64_t total)
{
    if (!shown_) return;
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    const std::lock_guard<std::mutex> one_printer(printing_);
    if (name == phase_ && percent <= percent_) return;
    phase_ = name;
    percent_ = percent;
    std::fprintf(stderr, "\r%s %3d%%", name, percent);
    std::fflush(stderr);
}

void Progress::finish(const char* name)
{
    report(name, 1, 1);
    if (shown_) std::fputc('\n', stderr);
}
