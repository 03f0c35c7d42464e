// The descriptor beside a raw raster: six integers, one per line.
#ifndef INPUT_DESCRIPTOR_H
#define INPUT_DESCRIPTOR_H

#include <cstdint>
#include <cstdio>

// Reads up to six integers from a raster descriptor, in order (lines,
// columns, bytes per sample, smallest and largest sample, pixel size), as
// "%d%d%d%d%d%d" does: any white space separates them, reading stops at the
// first value that is not a 32-bit integer, the values not read keep their
// previous content, and anything after the sixth is ignored. Returns the
// number of values read.
int read_descriptor(std::FILE* descriptor_file, int32_t* const values[6]);

#endif
