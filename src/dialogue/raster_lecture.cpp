#include <cstdio>

#include "dialogue/console.h"
#include "dialogue/opening.h"

namespace {

// Writes the whole descriptor of a model seen for the first time, now that its
// range is known, and puts it in place.
void complete_descriptor(OpeningState& s, OutputFile& descriptor)
{
    descriptor.printf("%d\n%d\n%d\n", s.nb_lig1, s.nb_col1, s.val);
    descriptor.printf("%d\n%d\n%d\n", s.mind, s.maxd, s.pix_size);
    descriptor.commit();
    s.descr_dem1_OK = 1;
}

int ask_sample_unit()
{
    console::print("\n\tHypsometric unit of these input values :");
    return console::ask_choice(
        [] {
            console::print("\n\t\t0 ====> meters\n\t\t1 ====> decimeters\n\t\t2 ====> centimeters");
            console::print("\n\t\t3 ====> millimeters\n\t\t");
        },
        0, 3);
}

}  // namespace

void raster_lecture(OpeningState& s, FileHandle f1, const std::string& nomdescr1, OutputFile* new_descriptor)
{
    const RawLayout layout{s.nb_lig1, s.nb_col1, s.itype, s.pix_size};
    s.model = open_raw_model(std::move(f1), s.nomim1, nomdescr1, layout, [&](const RawRange& range) {
        s.mind = range.mind;
        s.maxd = range.maxd;
        if (s.descr_dem1_OK == 0 && new_descriptor != nullptr) complete_descriptor(s, *new_descriptor);
        console::print("\n\tDynamic scale of the DEM : ");
        console::print("\n\t\tMin. = %d\tMax. = %d ", s.mind, s.maxd);
        console::print("\n\n\tThe program transforms these values into decimal metric data");
        return unit_factors[ask_sample_unit()];
    });
}
