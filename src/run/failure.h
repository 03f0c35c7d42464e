// How a run that fails says so: one line on standard error, after whatever
// the run printed on standard output.
#ifndef RUN_FAILURE_H
#define RUN_FAILURE_H

#include <functional>
#include <string>

// Prints `lead` (the front-end's own layout), "Error: " and the message.
void report_failure(const char* lead, const std::string& message);

// Runs `body` and returns its exit status; a failure it throws (a RunError,
// or memory that ran out) is reported with `lead` and gives status 1.
int report_failures(const char* lead, const std::function<int()>& body);

#endif
