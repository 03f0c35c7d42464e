// How a run ends early.
//
// RunError is a failure the user can cause (a missing or short file, a bad
// value, a full disk, no memory): the driver prints its message, removes any
// file the run had started, and ends with status 1.  RunExit is an ordinary
// early end (the "Exit" choice) carrying its exit status.
#ifndef SHARED_RUN_ERROR_H
#define SHARED_RUN_ERROR_H

#include <stdexcept>
#include <string>

struct RunError : std::runtime_error {
    explicit RunError(const std::string& message) : std::runtime_error(message) {}
};

struct RunExit {
    int status;
};

#endif
