#include "run/image_output.h"

#include "gdal/gdal_formats.h"
#include "output/row_sink.h"
#include "platform/platform.h"

namespace {

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

// A PNG or GeoTIFF: rows gathered in a scratch GeoTIFF under a private name
// in the result folder (removed when the run ends, however it fails, and by
// the next run if this one is killed), then copied into the image file.
class GdalImageOutput final : public ImageOutput {
public:
    GdalImageOutput(OutputFile& image, const ImageSettings& settings) : image_(image), scratch_(image.final_path())
    {
        scratch_.hand_over();
        image_.hand_over();
        const GdalImage target{image.temp_path(),
                               image.final_path(),
                               settings.format == ImageFormat::png ? GdalFormat::png : GdalFormat::geotiff,
                               settings.rows,
                               settings.columns,
                               settings.tone_bytes,
                               settings.palette,
                               settings.gray,
                               settings.georeference};
        sink_ = gdal_formats(image.final_path()).open_image_sink(scratch_.temp_path(), target);
    }
    ResultRowSink& rows() override { return *sink_; }
    void finish(const std::function<void(double)>& on_progress) override
    {
        sink_->write_image(on_progress);
        image_.seal();
    }

private:
    OutputFile& image_;
    OutputFile scratch_;
    std::unique_ptr<GdalImageSink> sink_;
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

std::unique_ptr<ImageOutput> open_image_output(OutputFile& image, const ImageSettings& settings)
{
    if (written_through_gdal(settings.format)) return std::make_unique<GdalImageOutput>(image, settings);
    return std::make_unique<FileImage>(image, settings);
}
