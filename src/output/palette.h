// Colour tables of the result image: its tones unchanged, only the colours
// they are shown in.
#ifndef OUTPUT_PALETTE_H
#define OUTPUT_PALETTE_H

#include <vector>

#include "IMAGE.h"

// A colour per value of a tone: 256 for one-byte tones, 65536 for two-byte.
using Palette = std::vector<Color32>;

// Tone i shown as the gray of its share of the tones' range: for one-byte
// tones the gray i (the bitmap's own palette).
Palette gray_palette(int tone_bytes = 1);

// The tones of the level_count levels, from first_tone on, each in a colour of its
// own: neighbouring levels far apart in hue and alternately brighter and
// darker, so that lines can be told apart and followed; the background (the
// largest tone) stays white and every other tone keeps its gray.
Palette distinct_palette(int first_tone, int level_count, int tone_bytes = 1);

// Every `every`th level of the level_count levels from first_tone on (the first
// included) drawn stronger: on the gray ramp the index levels black and the
// others a light gray; among distinct colours the index levels darkened. The
// tones stay as they are.
void mark_index_levels(Palette& palette, int first_tone, int level_count, int every);

#endif
