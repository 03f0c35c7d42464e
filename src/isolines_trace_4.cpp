#include "isolines_trace_4.h"

#include <cstdio>
#include <new>

#include "console.h"
#include "platform.h"
#include "run_error.h"

namespace {

void report_failure(const char* message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "\n\tError: %s\n", message);
    std::fflush(stderr);
}

}  // namespace

int isolines_trace_4(bool reference_engine)
{
    // The result files are destroyed before returning, which removes the
    // temporary files of a run that did not complete.
    platform::prepare_standard_streams();
    int status = 0;
    try {
        OpenedRun run = opening();
        treatment(run.model, run.results, reference_engine);
        console::print("\n\n\tHit any key to exit the program");
        console::check_output();  // a transcript that was not written is a failure of the run
        console::wait_key();
    } catch (const RunExit& end) {
        status = end.status;
    } catch (const RunError& failure) {
        report_failure(failure.what());
        return 1;
    } catch (const std::bad_alloc&) {
        report_failure("not enough memory");
        return 1;
    }
    try {
        console::check_output();
    } catch (const RunError& failure) {
        report_failure(failure.what());
        return 1;
    }
    return status;
}
