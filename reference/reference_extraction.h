// The pass-by-pass reference engine as the engine of a whole run (the
// reference build): the model's rows gathered into whole grids, the result
// handed on row by row once complete, in tones of one byte or of two as the
// program's engine gives them (tone_bytes_for).
#ifndef REFERENCE_REFERENCE_EXTRACTION_H
#define REFERENCE_REFERENCE_EXTRACTION_H

#include <vector>

#include "shared/levels.h"
#include "shared/rows.h"
#include "run/model.h"
#include "run/plan.h"

void extract_with_reference(const Model& model, const std::vector<Level>& levels, const Plan& plan,
                            ResultRowSink& result);

#endif
