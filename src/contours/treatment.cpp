#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdint>
#include <vector>

#include "../../LIB/IMAGE.h"
#include "../console.h"
#include "../isolines_trace_4.h"
#include "../run_error.h"
#include "extraction.h"
#include "levels.h"

namespace {

// The plan of levels agreed with the user.
struct Plan {
    double dmin_alt = 0;
    int first_GT = 0;
    double int_hypso = 0;
    double dmax_alt = 0;
    int num_CL = 0;
    int scale = 0;
};

constexpr int kMaxLevels = 250;

// The true smallest and largest altitude of the model.
void measure_range(ProgramState& s)
{
    double lo = s.dtab1[0][0];
    double hi = lo;
    for (int32_t i = 0; i < s.nb_lig1; ++i) {
        const double* row = s.dtab1[i];
        for (int32_t j = 0; j < s.nb_col1; ++j) {
            lo = std::min(lo, row[j]);
            hi = std::max(hi, row[j]);
        }
    }
    s.min_dyn = lo;
    s.max_dyn = hi;
}

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
        plan.dmin_alt = console::ask_double([] { console::print("\n\t\tMinimum altitude ? "); });
        plan.first_GT = ask_first_tone();
        plan.int_hypso = ask_interval();
        plan.dmax_alt = console::ask_double([] { console::print("\t\tMaximum altitude ? "); });

        const int64_t count = count_levels(plan.dmin_alt, plan.int_hypso, plan.dmax_alt);
        console::print("\n\tAccording to the minimum altitude value ");
        console::print("\n\tand the hypsometric values defined ");
        console::print("\n\tthe resulting image will have %lld contour lines \n", static_cast<long long>(count));
        if (count <= kMaxLevels) {
            // A very negative count is a plan without levels.
            plan.num_CL = count < 0 ? static_cast<int>(std::max<int64_t>(count, INT32_MIN)) : static_cast<int>(count);
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

void write_table_line(OutputFile& ftab, const Level& level, int scale)
{
    if (scale == 0)
        ftab.printf("%d\t%lf\n", level.tone, level.alti);
    else
        ftab.printf("%d\t%lld\n", level.tone, static_cast<long long>(table_altitude(level.alti, scale)));
}

void save_raw_result(ProgramState& s, const Plan& plan)
{
    console::print("\n\n\tsaving raster image %s ", s.nomim2.c_str());
    for (int32_t i = 0; i < s.nb_lig1; ++i) s.f2->write(s.tab3[i], static_cast<size_t>(s.nb_col1));
    s.f2->close();
    s.f2d->printf("%d\n%d\n%d\n%d\n%d\n%d\n", s.nb_lig1, s.nb_col1, 1, 0, plan.num_CL, s.pix_size);
    s.f2d->close();
}

// Whether an 8-bit bitmap of this size fits the 32-bit size fields of its header.
bool bitmap_size_fits(int32_t nb_col1, int32_t nb_lig1)
{
    const int64_t stride = (static_cast<int64_t>(nb_col1) + 3) / 4 * 4;
    return 1078 + static_cast<int64_t>(nb_lig1) * stride <= INT64_C(0xFFFFFFFF);
}

void save_bitmap_result(ProgramState& s)
{
    console::print("\n\n\tsaving bitmap %s ", s.nomim2.c_str());
    if (!bitmap_size_fits(s.nb_col1, s.nb_lig1))
        throw RunError("cannot write " + s.nomim2 + ": a bitmap of " + std::to_string(s.nb_lig1) + " lines x " +
                       std::to_string(s.nb_col1) + " columns exceeds the size a BMP file can describe; " +
                       "choose the raster result instead");
    if (SauveBMP(s.f2->temp_path().c_str(), s.tab3.rows(), s.nb_col1, s.nb_lig1, 0, nullptr) != 0)
        throw RunError("cannot write " + s.nomim2 + ": " + std::strerror(errno));
}

// Puts every result file in place together, now that all of them are complete.
void commit_results(ProgramState& s)
{
    std::vector<OutputFile*> files{s.f2.get()};
    if (s.f2d) files.push_back(s.f2d.get());
    files.push_back(s.ftab.get());
    commit_together(files, *s.result_lock);
}

}  // namespace

void treatment(ProgramState& s)
{
    measure_range(s);
    console::print("\n\tDynamic scale in meters : ");
    console::print("\n\t\tMin. = %lf\tMax. = %lf \n", s.min_dyn, s.max_dyn);

    Plan plan;
    ask_levels(plan);
    plan.scale = ask_table_unit();
    console::print("\n\tTreatment\n\n");

    const std::vector<Level> levels =
        level_sequence(plan.dmin_alt, plan.int_hypso, plan.first_GT, plan.num_CL, s.max_dyn);
    for (const Level& level : levels) {
        console::print("\t\tGray tone %d Altitude %lf         \r", level.tone, level.alti);
        write_table_line(*s.ftab, level, plan.scale);
    }

    const ExtractionInput input{s.dtab1.rows(), s.nb_lig1, s.nb_col1, &levels, plan.first_GT, plan.num_CL, s.max_dyn};
    if (s.reference_engine)
        extract_contours_reference(input, s.tab3.rows());
    else
        extract_contours_fast(input, s.tab3.rows());

    if (s.type_image == 0)
        save_raw_result(s, plan);
    else
        save_bitmap_result(s);
    commit_results(s);
}
