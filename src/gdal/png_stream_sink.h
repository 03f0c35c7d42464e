// A PNG result written by the module itself, its rows compressed as they
// come on the threads that hand them.
//
// The image is cut into parts of a few hundred KiB of rows (png_parts.h). A
// part is compressed once all its rows have come, on the thread that handed
// the last of them, so that the compression runs on every core while the
// engine's stripes do. Its rows, and any other part's, may still come again
// (the repaired seams between stripes): the part is then taken apart, the
// rows replaced, and compressed again. So the file can only be written once
// every row is final, in write_image: the parts in order, each an IDAT chunk.
//
// Memory holds the parts whose rows are still coming and the compressed
// parts, up to a bound; compressed parts beyond it go to the scratch file (a
// private file beside the result), to be copied into the result at the end.
#ifndef GDAL_PNG_STREAM_SINK_H
#define GDAL_PNG_STREAM_SINK_H

#include <cstdint>
#include <memory>
#include <string>

#include "gdal/gdal_image_sink.h"

// The compressed parts held in memory at most: enough for the images of
// tens of millions of cells of dense contours (9.3 million cells of 250
// levels compress to 3 MB).
inline constexpr uint64_t png_packed_memory = uint64_t{16} << 20;

// A sink writing the PNG `image` (image.format is png), keeping compressed
// parts beyond `packed_memory` bytes in `scratch_path` (an empty file the
// caller made and removes). Failures throw RunError naming the image's shown
// path.
std::unique_ptr<GdalImageSink> open_png_stream_sink(const std::string& scratch_path, const GdalImage& image,
                                                    uint64_t packed_memory = png_packed_memory);

#endif
