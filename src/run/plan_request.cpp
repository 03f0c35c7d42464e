#include "run/plan_request.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "shared/file_names.h"
#include "shared/number_text.h"
#include "output/result_writers.h"
#include "run/model.h"
#include "shared/run_error.h"

namespace {

constexpr int64_t kCountless = std::numeric_limits<int64_t>::max();

// The smallest interval of the form 1, 2, 2.5 or 5 times a power of ten that
// is at least `at_least` (1 when there is nothing to measure).
double round_interval(double at_least)
{
    if (!(at_least > 0) || !std::isfinite(at_least)) return 1;
    double power = std::pow(10.0, std::floor(std::log10(at_least)));
    for (;; power *= 10)
        for (double step : {1.0, 2.0, 2.5, 5.0})
            if (step * power >= at_least) return std::isfinite(step * power) ? step * power : at_least;
}

// The interval that gives at most `levels` levels from `low` to `high`,
// rounded up to a readable one.
double interval_for(double low, double high, int levels)
{
    return round_interval(static_cast<double>((static_cast<long double>(high) - low) / (levels - 1)));
}

// The smallest multiple of the interval at or above the altitude; not finite
// when the interval is too small for the multiples of the altitude to be
// counted in a double.
double first_multiple_at_or_above(double altitude, double interval)
{
    double multiple = std::ceil(altitude / interval) * interval;
    if (multiple < altitude) multiple += interval;
    return multiple + 0.0;  // never -0, which would print as "-0.000000"
}

// What the plan is checked against: the model's altitudes and the result.
struct Bounds {
    AltitudeRange range;
    bool range_known = true;  // else the plan needs none but to be checked once it is known
    ImageFormat format;
    std::string image;
    std::string in_unit;  // " m"

    // The most levels the result holds: a PNG or GeoTIFF takes tones of 16
    // bits, a raw image or a bitmap 8 only.
    int most_levels() const { return holds_wide_tones(format) ? max_wide_levels : max_levels; }

    // Why a plan of `count` levels, more than the result holds, is refused:
    // the plan, the bound, and what to do (`fewer`: how to ask for fewer).
    std::string too_many(const std::string& plan, int64_t count, const std::string& fewer) const
    {
        const std::string levels = count == kCountless ? "more levels than can be counted"
                                                       : std::to_string(count) + " levels, more than " +
                                                             std::to_string(most_levels());
        const std::string text = plan + " has " + levels;
        if (!holds_wide_tones(format) && count <= max_wide_levels)
            return text + " (a " + extension_of(image) +
                   " result holds tones of 8 bits); write a .tif or .png, which hold 16 bits, or " + fewer;
        return text + "; " + fewer;
    }
};

// A plan of listed altitudes: ascending, each once, at least one of them
// within the model's altitudes.
Plan listed_plan(const PlanRequest& request, const Bounds& bounds)
{
    std::vector<double> altitudes = request.listed;
    std::sort(altitudes.begin(), altitudes.end());
    altitudes.erase(std::unique(altitudes.begin(), altitudes.end()), altitudes.end());
    const auto count = static_cast<int64_t>(altitudes.size());
    if (count > bounds.most_levels())
        throw RunError(bounds.too_many("the list of levels", count, "list fewer levels"));
    const bool any_within = !bounds.range_known || std::any_of(altitudes.begin(), altitudes.end(), [&](double level) {
        return level >= bounds.range.lowest && level <= bounds.range.highest;
    });
    if (!any_within) {
        const std::string listed = count == 1 ? "the level " + readable_text(altitudes.front()) + bounds.in_unit +
                                                    " lies outside"
                                              : "the list of levels from " + readable_text(altitudes.front()) +
                                                    " to " + readable_text(altitudes.back()) + bounds.in_unit +
                                                    " has no level within";
        throw RunError(listed + " the model's altitudes (" + readable_text(bounds.range.lowest) + " to " +
                       readable_text(bounds.range.highest) + bounds.in_unit + ")");
    }
    Plan plan;
    plan.level_count = static_cast<int>(count);
    plan.placed = ListedLevels{altitudes};
    return plan;
}

// A plan of levels every interval.
Plan interval_plan(const PlanRequest& request, const Bounds& bounds)
{
    const AltitudeRange& range = bounds.range;
    IntervalLevels levels;
    levels.interval = request.interval;
    levels.first = request.lowest ? *request.lowest : first_multiple_at_or_above(range.lowest, levels.interval);
    levels.last = request.highest ? *request.highest : range.highest;
    // An interval too small for the altitudes' multiples to be counted gives
    // more levels than any plan holds.
    const bool countless = !std::isfinite(levels.first);
    const int64_t count = countless ? kCountless : levels.count();
    const double from = countless ? range.lowest : levels.first;
    const std::string described = "the plan from " + readable_text(from) + " to " + readable_text(levels.last) +
                                  bounds.in_unit + " every " + readable_text(levels.interval) + bounds.in_unit;
    if (count > bounds.most_levels())
        throw RunError(bounds.too_many(
            described, count, "try -i " + readable_text(interval_for(from, levels.last, bounds.most_levels()))));
    if (count < 1) {
        const std::string hint = levels.first > levels.last && (request.lowest || request.highest)
                                     ? "; check --min and --max (the model's altitudes run from " +
                                           readable_text(range.lowest) + " to " + readable_text(range.highest) +
                                           bounds.in_unit + ")"
                                     : "; try -i " + readable_text(interval_for(range.lowest, range.highest, 21));
        throw RunError(described + " has no level" + hint);
    }
    Plan plan;
    plan.level_count = static_cast<int>(count);
    plan.placed = levels;
    return plan;
}

// The table's unit: the one asked for, when it holds every level; else whole
// units when every level is whole, decimals that read back exactly when not.
int table_unit_for(const std::optional<int>& asked, const std::vector<Level>& levels, const std::string& in_unit)
{
    constexpr long double whole_limit = 9223372036854775807.0L;  // the largest whole value a table line holds
    if (asked) {
        for (const Level& level : levels) {
            const int64_t value = table_altitude(level.altitude, *asked);
            if (*asked != 0 &&
                (value == std::numeric_limits<int64_t>::max() || value == std::numeric_limits<int64_t>::min()))
                throw RunError("the table unit " + std::to_string(*asked) + " cannot hold the altitude " +
                               readable_text(level.altitude) + in_unit + "; leave out --table-unit for exact decimals");
        }
        return *asked;
    }
    const bool whole = std::all_of(levels.begin(), levels.end(), [&](const Level& level) {
        return level.altitude == std::trunc(level.altitude) && std::fabs(static_cast<long double>(level.altitude)) < whole_limit;
    });
    return whole ? 1 : table_unit_exact;
}

// The plan's levels and tones, in `unit`.
Plan plan_within(const PlanRequest& request, const Bounds& bounds, const std::string& unit)
{
    Plan plan = request.listed.empty() ? interval_plan(request, bounds) : listed_plan(request, bounds);
    plan.first_tone = request.first_tone;
    plan.unit = unit;
    return plan;
}

}  // namespace

std::string unit_name_of(const PlanRequest& request, const Model& model)
{
    if (request.unit) return *request.unit;
    if (request.scaled || model.unit.empty()) return "m";
    for (const char* meter : {"m", "metre", "meter", "metres", "meters"})
        if (model.unit == meter) return "m";
    for (const char* foot : {"ft", "foot", "feet", "US survey foot", "ftUS", "foot_us", "international foot"})
        if (model.unit == foot) return "ft";
    return model.unit;
}

Plan plan_for(const PlanRequest& request, const Model& model, ImageFormat format, const std::string& image)
{
    const std::string unit = unit_name_of(request, model);
    const Bounds bounds{model.altitudes->range(), true, format, image, " " + unit};
    Plan plan = plan_within(request, bounds, unit);
    plan.table_unit = table_unit_for(request.table_unit, plan_levels(plan, bounds.range.highest), bounds.in_unit);
    return plan;
}

bool plan_needs_range(const PlanRequest& request)
{
    // A --min above --max is refused with the model's range in its hint.
    const bool both_ends = request.lowest && request.highest && std::isfinite(*request.lowest) &&
                           std::isfinite(*request.highest) && *request.lowest <= *request.highest;
    return request.listed.empty() && !both_ends;
}

Plan plan_before_range(const PlanRequest& request, const Model& model, ImageFormat format, const std::string& image)
{
    if (plan_needs_range(request)) throw std::logic_error("plan_before_range for a plan that needs the model's range");
    const std::string unit = unit_name_of(request, model);
    constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
    return plan_within(request, Bounds{AltitudeRange{unknown, unknown, 0}, false, format, image, " " + unit}, unit);
}
