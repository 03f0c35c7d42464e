#include "run/image_output.h"

#include "gdal/gdal_formats.h"
#include "output/row_sink.h"
#include "platform/platform.h"
#include "run/image_file.h"
#include "shared/run_error.h"

#include <sstream>
#include <stdexcept>

namespace {

platform::FileId identity_of(const OutputFile& image)
{
    platform::FileId id;
    const platform::Status known = platform::identify_descriptor(platform::descriptor_of(image.stream()), id);
    if (!known) throw RunError("cannot write " + image.final_path() + ": " + known.reason());
    return id;
}

GdalImage gdal_image(const ImageSettings& settings, const std::string& path, const std::string& shown_path)
{
    return {path,
            shown_path,
            settings.format == ImageFormat::png ? GdalFormat::png : GdalFormat::geotiff,
            settings.rows,
            settings.columns,
            settings.tone_bytes,
            settings.palette,
            settings.gray,
            settings.georeference};
}

// The raw image and the bitmap: rows written at their offsets in the file.
class FileImage final : public ImageOutput {
public:
    FileImage(OutputFile& image, const ImageSettings& settings) : image_(image)
    {
        // Nothing goes through the stream: the sink writes at row offsets.
        const int fd = platform::descriptor_of(image.stream());
        if (settings.format == ImageFormat::raw)
            sink_ = std::make_unique<RawResultSink>(fd, image.final_path(), settings.rows, settings.columns);
        else
            sink_ = std::make_unique<BitmapSink>(fd, image.final_path(), settings.rows, settings.columns,
                                                 settings.gray ? nullptr : settings.palette.data());
    }
    ResultRowSink& rows() override { return *sink_; }
    void finish(const std::function<void(double)>&) override { image_.close(); }

private:
    OutputFile& image_;
    std::unique_ptr<RowSink> sink_;
};

// A PNG or GeoTIFF, streamed into the image file by the GDAL module (with a
// scratch file under a private name in the result folder where it needs one,
// removed when the run ends, however it fails, and by the next run if this
// one is killed).
class GdalImageOutput final : public ImageOutput {
public:
    GdalImageOutput(OutputFile& image, const ImageSettings& settings, TileShare* share)
        : image_(image), scratch_(image.final_path()), file_(image.temp_path(), identity_of(image), image.final_path())
    {
        scratch_.hand_over();
        image_.hand_over();
        const GdalImage target = gdal_image(settings, image.temp_path(), image.final_path());
        sink_ = gdal_formats(image.final_path()).open_image_sink(scratch_.temp_path(), target, file_, share);
    }
    ResultRowSink& rows() override { return *sink_; }
    void finish(const std::function<void(double)>& on_progress) override
    {
        try {
            sink_->write_image(on_progress);
        } catch (const RunError&) {
            // The file GDAL checks by its name may not be the one written.
            image_.check_still_in_place();
            throw;
        }
        image_.seal();
    }

private:
    OutputFile& image_;
    OutputFile scratch_;
    ImageFile file_;
    std::unique_ptr<GdalImageSink> sink_;
};

// A process's part of a raw image or bitmap that another process created:
// the header is written again as that one writes it, and the rows at their
// offsets.
class FilePart final : public ImageOutput {
public:
    FilePart(const ImagePart& part, const std::string& final_path, const ImageSettings& settings)
        : fd_(open_run_file(part.temp_path, part.created, final_path))
    {
        if (settings.format == ImageFormat::raw)
            sink_ = std::make_unique<RawResultSink>(fd_, final_path, settings.rows, settings.columns);
        else
            sink_ = std::make_unique<BitmapSink>(fd_, final_path, settings.rows, settings.columns,
                                                 settings.gray ? nullptr : settings.palette.data());
    }
    ~FilePart() override { platform::close_descriptor(fd_); }
    ResultRowSink& rows() override { return *sink_; }
    void finish(const std::function<void(double)>&) override { sink_->settle(); }

private:
    int fd_ = -1;
    std::unique_ptr<RowSink> sink_;
};

// A process's part of a GeoTIFF that the first process created: its own
// tile rows, written into the same file.
class GeoTiffPart final : public ImageOutput {
public:
    GeoTiffPart(const ImagePart& part, const std::string& final_path, const ImageSettings& settings, TileShare& share)
        : file_(part.temp_path, part.created, final_path)
    {
        const GdalImage target = gdal_image(settings, part.temp_path, final_path);
        sink_ = gdal_formats(final_path).open_image_sink("", target, file_, &share);
    }
    ResultRowSink& rows() override { return *sink_; }
    void finish(const std::function<void(double)>& on_progress) override { sink_->write_image(on_progress); }

private:
    ImageFile file_;
    std::unique_ptr<GdalImageSink> sink_;
};

// The part of a PNG: its rows go to the first process.
class NoPart final : public ImageOutput, private ResultRowSink {
public:
    ResultRowSink& rows() override { return *this; }
    void finish(const std::function<void(double)>&) override {}

private:
    void write_row(int32_t, ToneRow) override { throw std::logic_error("a row of a part that takes none"); }
};

}  // namespace

ImageSettings image_settings_for(const Model& model, const Plan& plan, ImageFormat format, const PaletteRequest& palette)
{
    ImageSettings image;
    image.format = format;
    image.rows = model.rows;
    image.columns = model.columns;
    image.tone_bytes = tone_bytes_for(plan.level_count);
    // Index levels are marked in the image's own colours: a gray image too
    // then holds its palette.
    image.gray = !palette.distinct && palette.index_every == 0;
    image.palette = palette.distinct ? distinct_palette(plan.first_tone, plan.level_count, image.tone_bytes)
                                     : gray_palette(image.tone_bytes);
    if (palette.index_every > 0) mark_index_levels(image.palette, plan.first_tone, plan.level_count, palette.index_every);
    image.georeference = model.georeference;
    return image;
}

std::string image_part_name(const OutputFile& image)
{
    const platform::FileId id = identity_of(image);
    return std::to_string(id.device) + " " + std::to_string(id.inode) + " " + image.temp_path();
}

ImagePart image_part_of(const std::string& part_name)
{
    ImagePart part;
    std::istringstream fields(part_name);
    fields >> part.created.device >> part.created.inode;
    fields.get();  // the space before the name
    std::getline(fields, part.temp_path);
    return part;
}

std::unique_ptr<ImageOutput> open_image_part(const std::string& part_name, const std::string& final_path,
                                             const ImageSettings& settings, TileShare* share)
{
    const ImagePart part = image_part_of(part_name);
    if (settings.format == ImageFormat::geotiff && share != nullptr)
        return std::make_unique<GeoTiffPart>(part, final_path, settings, *share);
    if (written_through_gdal(settings.format)) return std::make_unique<NoPart>();
    return std::make_unique<FilePart>(part, final_path, settings);
}

std::unique_ptr<ImageOutput> open_image_output(OutputFile& image, const ImageSettings& settings, TileShare* share)
{
    if (written_through_gdal(settings.format)) return std::make_unique<GdalImageOutput>(image, settings, share);
    return std::make_unique<FileImage>(image, settings);
}
