#include <cstdio>

#include "dialogue/console.h"
#include "dialogue/opening.h"

void ascii_lecture(OpeningState& s, FileHandle f1)
{
    console::print("\n");
    s.model = open_ascii_model(std::move(f1), s.nomim1, s.nomdir,
                               [](int32_t i) { console::print("\tline %d                   \r", i); });
    s.nb_col1 = s.model.columns;
    s.nb_lig1 = s.model.rows;
    s.pix_size = s.model.pixel_size;
    console::print("\n");
}
