// The result image while a run writes it: the rows the engine finishes go
// in through a sink, then the file is completed. The raw image and the
// bitmap take each row at its offset; a PNG or GeoTIFF is streamed into its
// file by the GDAL module.
#ifndef RUN_IMAGE_OUTPUT_H
#define RUN_IMAGE_OUTPUT_H

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "IMAGE.h"
#include "gdal/tile_share.h"
#include "platform/platform.h"
#include "output/palette.h"
#include "shared/georeference.h"
#include "output/image_format.h"
#include "results/output_file.h"
#include "shared/rows.h"
#include "run/model.h"
#include "run/plan.h"

struct ImageSettings {
    ImageFormat format = ImageFormat::bmp;
    int32_t rows = 0;
    int32_t columns = 0;
    int tone_bytes = 1;  // 2 for plans of more than max_levels levels (PNG and GeoTIFF only)
    // The colours of the tones: the gray ramp (tone i shown as gray i), or
    // this palette. A raw image holds none.
    bool gray = true;
    Palette palette = gray_palette();
    Georeference georeference;  // carried inside a GeoTIFF
};

// The colours a front-end asks for: each level in a colour of its own, or
// the gray ramp; every Nth level drawn stronger (0: none).
struct PaletteRequest {
    bool distinct = false;
    int index_every = 0;
};

// The image of the plan over the model in `format`: its size, its tones'
// bytes, its palette, its place.
ImageSettings image_settings_for(const Model& model, const Plan& plan, ImageFormat format,
                                 const PaletteRequest& palette = {});

class ImageOutput {
public:
    virtual ~ImageOutput() = default;

    // Where the engine's rows go (any order, several threads, a row again
    // replaces it).
    virtual ResultRowSink& rows() = 0;

    // Completes the file once every row is in: closed and forced to the disk,
    // still under its temporary name. `on_progress` gets the share of the
    // file written so far when it is copied (0 to 1).
    virtual void finish(const std::function<void(double)>& on_progress) = 0;
};

// The image written into `image`, the result's file of that role; a GeoTIFF
// with a `share` together with the other processes of a shared run.
std::unique_ptr<ImageOutput> open_image_output(OutputFile& image, const ImageSettings& settings,
                                               TileShare* share = nullptr);

// The image file as the other processes of a shared run find it: its
// temporary name and its identity, as one text (`image`: a file just
// created, still open).
std::string image_part_name(const OutputFile& image);

// The image file a process of a shared run writes into besides the first
// one, which created it: its temporary name and its identity.
struct ImagePart {
    std::string temp_path;
    platform::FileId created;
};
ImagePart image_part_of(const std::string& part_name);

// The part of an image that a process of a shared run writes besides the
// first one, which created the file named by `part_name` (image_part_name;
// messages name `final_path`): a raw image or bitmap takes its rows at their
// offsets, and the part is final once on the disk; a GeoTIFF with a `share`
// takes the tile rows this process owns. A file that is no longer the one
// created under that name is refused: this process writes nothing but the
// run's own file. The rows of a PNG go to the first process instead: such a
// part takes none.
std::unique_ptr<ImageOutput> open_image_part(const std::string& part_name, const std::string& final_path,
                                             const ImageSettings& settings, TileShare* share);

#endif
