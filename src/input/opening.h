// The input phase: opening dialogue and the two model readers' dialogues.
#ifndef INPUT_OPENING_H
#define INPUT_OPENING_H

#include <string>

#include "../isolines_trace_4.h"

// The twelve lines of the start-up banner, as printed.
std::string banner_text();

// Takes the raw raster open in `f1` (path s.nomim1) as the model's rows,
// measures its raw range, completes a descriptor that is being created
// (`new_descriptor`, null when the descriptor was read), reports the raw range
// and serves the samples in meters of the unit asked.
void raster_lecture(ProgramState& s, std::FILE* f1, OutputFile* new_descriptor);

// Reads the ASCII grid open in `f1` (path s.nomim1); values that do not fit
// the memory budget are kept in a scratch file in `folder`, the model folder.
void ascii_lecture(ProgramState& s, std::FILE* f1, const std::string& folder);

#endif
