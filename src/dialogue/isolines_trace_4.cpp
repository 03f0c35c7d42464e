#include "dialogue/isolines_trace_4.h"

#include "dialogue/console.h"
#include "platform/platform.h"
#include "run/failure.h"
#include "shared/run_error.h"

namespace {

constexpr const char* kErrorLead = "\n\t";

}  // namespace

int isolines_trace_4(const ExtractionEngine& engine)
{
    platform::prepare_standard_streams();
    return report_failures(kErrorLead, [&] {
        int status = 0;
        // The result files are destroyed before a failure is reported, which
        // removes the temporary files of a run that did not complete.
        try {
            OpenedRun run = opening();
            treatment(run, engine);
            console::print("\n\n\tHit any key to exit the program");
            console::check_output();  // a transcript that was not written is a failure of the run
            console::wait_key();
        } catch (const RunExit& end) {
            status = end.status;
        }
        console::check_output();
        return status;
    });
}
