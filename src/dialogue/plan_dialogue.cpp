#include <algorithm>
#include <cstdint>

#include "dialogue/plan_dialogue.h"

#include "dialogue/console.h"
#include "shared/run_error.h"

namespace {

int ask_first_tone()
{
    for (;;) {
        const int tone = console::ask_int([] { console::print("\t\tFirst gray tone value (0 or 1) ? "); });
        if (tone == 0 || tone == 1) return tone;
        console::print("\t\t\tWrong value \n");
    }
}

// An interval of 0 gives no count of levels: it is refused like a wrong tone.
double ask_interval()
{
    for (;;) {
        const double interval = console::ask_double(
            [] { console::print("\t\tHypsometric interval required (decimal value in meters) ? "); });
        if (interval != 0) return interval;
        console::print("\t\t\tWrong value \n");
    }
}

// Asks the four values of a plan until its number of levels is acceptable;
// the user may end the run instead.
void ask_levels(Plan& plan)
{
    for (;;) {
        console::print("\n\tContour line extraction : ");
        const double dmin_alt = console::ask_double([] { console::print("\n\t\tMinimum altitude ? "); });
        const int first_GT = ask_first_tone();
        const double int_hypso = ask_interval();
        const double dmax_alt = console::ask_double([] { console::print("\t\tMaximum altitude ? "); });

        const IntervalLevels levels{dmin_alt, int_hypso, dmax_alt};
        const int64_t count = levels.count();
        console::print("\n\tAccording to the minimum altitude value ");
        console::print("\n\tand the hypsometric values defined ");
        console::print("\n\tthe resulting image will have %lld contour lines \n", static_cast<long long>(count));
        if (within_level_bound(count)) {
            plan.placed = levels;
            plan.first_tone = first_GT;
            // A very negative count is a plan without levels.
            plan.level_count =
                count < 0 ? static_cast<int>(std::max<int64_t>(count, INT32_MIN)) : static_cast<int>(count);
            return;
        }
        console::print("\n\tThis number is too big. ");
        console::print("\n\tChange the hypsometric interval or the starting altitude");
        const int process = console::ask_choice(
            [] {
                console::print("\n\n\tFurther processing ;");
                console::print("\n\t\t0 ====> Exit\n\t\t1 ====> New parametric definition\n\t\t");
            },
            0, 1);
        if (process == 0) throw RunExit{0};
    }
}

int ask_table_unit()
{
    console::print("\n\tAltitude Values Units in the Gray tones/Altitude Table :");
    return console::ask_choice(
        [] {
            console::print("\n\t\t0 ====> meters with decimal values\n\t\t1 ====> meters (integer value)");
            console::print("\n\t\t2 ====> decimeters (integer value)\n\t\t3 ====> centimeters (integer value)");
            console::print("\n\t\t4 ====> millimeters (integer value)\n\t\t");
        },
        0, 4);
}

}  // namespace

Plan ask_plan(double min_dyn, double max_dyn)
{
    console::print("\n\tDynamic scale in meters : ");
    console::print("\n\t\tMin. = %lf\tMax. = %lf \n", min_dyn, max_dyn);
    Plan plan;
    ask_levels(plan);
    plan.table_unit = ask_table_unit();
    console::print("\n\tTreatment\n\n");
    return plan;
}
