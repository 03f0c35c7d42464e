// Progress of a command-line run on standard error: "reading 42%", shown only
// while standard error is a terminal and the run is not quiet.
#ifndef CLI_PROGRESS_H
#define CLI_PROGRESS_H

#include <cstdint>
#include <mutex>

class Progress {
public:
    explicit Progress(bool quiet);
    // The phase `name` has done `done` of `total` steps; shown when its
    // percentage changes. Safe from several threads at once.
    void report(const char* name, int64_t done, int64_t total);
    // The phase is complete: shown at 100% and left on its own line (once: a
    // phase ended by end_line is not shown again until it is taken up again).
    void finish(const char* name);
    // Ends the phase being shown, if any, at 100%, so that the report on
    // standard output begins a line of its own.
    void end_line();

private:
    // Both with printing_ held.
    void show(const char* name, int percent);
    void end_phase();

    bool shown_;
    std::mutex printing_;
    const char* phase_ = nullptr;  // shown now, unless ended
    int percent_ = -1;
    bool ended_ = false;
};

#endif
