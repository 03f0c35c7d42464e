// Fuzz target: the command line's arguments, one per line of the input, read
// by parse_command_line.
//
// Every argument list either ends the run (status 0 after --help or
// --version, 2 after a usage error, with a message) or gives options that
// the run can trust: an interval above 0 and finite bounds, or a list of
// finite levels instead, a first tone of 0 or 1, a table unit 0..4, a factor
// of the samples above 0, a band from 1, a table path and an output of a
// known format.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> args{"isolines_trace_4"};
    std::string current;
    for (size_t k = 0; k < size; ++k) {
        const char c = static_cast<char>(data[k]);
        if (c == '\n') {
            args.push_back(current);
            current.clear();
        } else if (c != '\0') {  // an argument never holds a NUL byte
            current += c;
        }
    }
    args.push_back(current);
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());

    std::ostringstream out, err;
    int status = -1;
    const auto options = parse_command_line(static_cast<int>(argv.size()), argv.data(), out, err, status);
    if (!options) {
        check(status == 0 || status == kUsageStatus);
        check(status == 0 ? !out.str().empty() : !err.str().empty());
        return 0;
    }
    check(status == 0);
    const RunRequest& request = options->request;
    const PlanRequest& plan = request.plan;
    check(plan.listed.empty() ? std::isfinite(plan.interval) && plan.interval > 0
                              : plan.interval == 0 && !plan.lowest && !plan.highest);
    for (const double level : plan.listed) check(std::isfinite(level));
    check(!request.model.no_data || std::isfinite(*request.model.no_data));
    check(!plan.unit || !plan.unit->empty());
    check(request.palette.index_every >= 0);
    check(!plan.lowest || std::isfinite(*plan.lowest));
    check(!plan.highest || std::isfinite(*plan.highest));
    check(plan.first_tone == 0 || plan.first_tone == 1);
    check(!plan.table_unit || (*plan.table_unit >= 0 && *plan.table_unit <= 4));
    check(std::isfinite(request.model.sample_factor) && request.model.sample_factor > 0);
    check(!plan.lowest || !plan.highest || *plan.lowest <= *plan.highest);
    check(request.model.band >= 1);
    check(!request.table.empty() && !request.model.path.empty() && !request.image.empty());
    check(!(request.palette.distinct && request.format == ImageFormat::raw));
    return 0;
}
