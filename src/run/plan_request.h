// A plan as a front-end asks for it, made over the model by the run: the
// defaults filled (the first level, the last, the table's unit, the
// altitudes' unit), and a plan of no level, or of more than the result
// holds, refused with a hint (an interval that would do).
#ifndef RUN_PLAN_REQUEST_H
#define RUN_PLAN_REQUEST_H

#include <optional>
#include <string>
#include <vector>

#include "output/image_format.h"
#include "run/plan.h"

struct Model;

struct PlanRequest {
    double interval = 0;                // between two levels, above 0; 0 for the listed levels instead
    std::vector<double> listed;         // levels at these altitudes, in any order
    std::optional<double> lowest;       // the first level (default: the first multiple of the interval
                                        // at or above the model's lowest altitude)
    std::optional<double> highest;      // the highest level at most (default: the model's highest altitude)
    int first_tone = 1;                 // 0 or 1
    std::optional<int> table_unit;      // default: whole units when every level is whole, else exact decimals
    std::optional<std::string> unit;    // the altitudes' unit as named (default: see unit_name_of)
    bool scaled = false;                // the samples were scaled into meters
};

// The altitudes' unit as the report and the legend name it: the one asked
// for; meters when the samples are scaled; else the unit the band names
// (GDAL's spellings of the meter and the foot shortened), or meters.
std::string unit_name_of(const PlanRequest& request, const Model& model);

// The plan the request gives over the model, for a result in `format` at
// `image` (named in the hint when it holds tones of 8 bits only). A plan of
// no level, or of more than the result holds, and a table unit that cannot
// hold a level, end the run (RunError) with a hint.
Plan plan_for(const PlanRequest& request, const Model& model, ImageFormat format, const std::string& image);

// Whether the request's plan needs the model's range before its levels are
// known: for the defaults of levels every interval (--min or --max left out).
// A listed plan needs it only to be checked once it is known.
bool plan_needs_range(const PlanRequest& request);

// The plan of a request that needs no range (plan_needs_range), before the
// model's range is known: its levels and tones, a plan of more levels than
// the result holds refused as plan_for refuses it. Its levels lie as they do
// when none is on the model's highest altitude, and its table unit is not
// chosen yet: plan_for gives the whole plan once the range is known.
Plan plan_before_range(const PlanRequest& request, const Model& model, ImageFormat format, const std::string& image);

#endif
