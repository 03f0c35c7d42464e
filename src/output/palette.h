// Colour tables of the result image: its tones unchanged, only the colours
// they are shown in.
#ifndef OUTPUT_PALETTE_H
#define OUTPUT_PALETTE_H

#include <array>

#include "IMAGE.h"

// Tone i shown as the gray i (the bitmap's own palette).
std::array<Color32, 256> gray_palette();

// The tones of the num_CL levels, from first_GT on, each in a colour of its
// own: neighbouring levels far apart in hue and alternately brighter and
// darker, so that lines can be told apart and followed; the background (255)
// stays white and every other tone keeps its gray.
std::array<Color32, 256> distinct_palette(int first_GT, int num_CL);

// Every `every`th level of the num_CL levels from first_GT on (the first
// included) drawn stronger: on the gray ramp the index levels black and the
// others a light gray; among distinct colours the index levels darkened. The
// tones stay as they are.
void mark_index_levels(std::array<Color32, 256>& palette, int first_GT, int num_CL, int every);

#endif
