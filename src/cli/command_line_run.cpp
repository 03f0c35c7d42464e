// The command-line run: the run (run/) opens the model, plans, traces and
// commits the results; this shows the report on standard output and the
// progress on standard error.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <variant>

#include "cli/command_line.h"
#include "cli/progress.h"
#include "shared/number_text.h"
#include "run/failure.h"
#include "shared/run_error.h"

namespace {

// The model's size and range and the plan, as one line each.
void report(const RunRequest& request, const Model& model, const Plan& plan)
{
    const AltitudeRange range = model.altitudes->range();
    const char* unit = plan.unit.c_str();
    std::printf("%s: %d lines x %d columns, altitudes %s to %s %s", model.path.c_str(), model.rows, model.columns,
                readable_text(range.lowest).c_str(), readable_text(range.highest).c_str(), unit);
    const std::optional<double>& no_data = request.model.no_data;
    if (range.no_data_cells > 0 || no_data)
        std::printf(", %lld cells without data", static_cast<long long>(range.no_data_cells));
    // The value given wins over the band's own.
    if (no_data) {
        std::printf(" (--snodata %s", readable_text(*no_data).c_str());
        if (model.band_no_data && !(*model.band_no_data == *no_data))
            std::printf(", in place of the band's %s", readable_text(*model.band_no_data).c_str());
        std::printf(")");
    }
    if (model.value_scale != 1 || model.value_offset != 0)
        std::printf(" (the band's values x %s + %s)", readable_text(model.value_scale).c_str(),
                    readable_text(model.value_offset).c_str());
    if (const auto* every = std::get_if<IntervalLevels>(&plan.placed)) {
        std::printf("\n%d levels from %s %s every %s %s", plan.level_count, readable_text(every->first).c_str(), unit,
                    readable_text(every->interval).c_str(), unit);
    } else {
        const std::vector<double>& listed = std::get<ListedLevels>(plan.placed).altitudes;
        std::printf("\n%d levels at", plan.level_count);
        for (size_t k = 0; k < listed.size(); ++k)
            std::printf("%s %s", k == 0 ? "" : ",", readable_text(listed[k]).c_str());
        std::printf(" %s", unit);
    }
    std::printf(", tones %d to %d\n", plan.first_tone, plan.first_tone + plan.level_count - 1);
    std::fflush(stdout);
}

void run(const CommandLine& command_line, RunGroup* group)
{
    const RunRequest& request = command_line.request;
    // In a run shared by several processes the first one reports.
    if (group != nullptr && group->rank() > 0) {
        run_request(request, {}, group);
        return;
    }
    const bool quiet = command_line.quiet;
    Progress progress(quiet);
    RequestHooks hooks;
    hooks.on_reading = [&](int64_t done, int64_t total) { progress.report("reading", done, total); };
    hooks.on_read = [&] { progress.finish("reading"); };
    // After the tracing when the model is read once.
    hooks.on_planned = [&](const Model& model, const Plan& plan) {
        progress.end_line();
        if (!quiet) report(request, model, plan);
    };
    hooks.tracing.on_rows = [&](int64_t done, int64_t total) { progress.report("tracing", done, total); };
    hooks.tracing.on_saving = [&] { progress.finish("tracing"); };
    hooks.tracing.on_writing = [&](double share) { progress.report("writing", std::llround(share * 1000), 1000); };
    const RunOutcome outcome = run_request(request, hooks, group);
    progress.finish("writing");
    if (quiet) return;
    std::printf("written:");
    for (const std::string& file : outcome.written) std::printf(" %s", file.c_str());
    if (!outcome.moved_folder.empty())
        std::printf(" (in the folder %s led to when the run began; it now leads to another)",
                    outcome.moved_folder.c_str());
    std::printf("\n");
}

constexpr const char* kErrorLead = "";

}  // namespace

int run_command_line(const CommandLine& command_line, RunGroup* group)
{
    return report_failures(kErrorLead, [&] {
        run(command_line, group);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw RunError(std::string("cannot write the report to standard output: ") + std::strerror(errno));
        return 0;
    });
}
