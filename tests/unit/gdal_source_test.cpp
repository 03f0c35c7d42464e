// Rasters read through GDAL by several threads at once, as the engine's
// stripes read them.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "gdal/gdal_formats.h"
#include "temp_folder.h"

namespace {

class GdalSourceTest : public TempFolderTest {};

// GDAL opens the file of a VRT's raw band once for the whole process: the
// threads, each reading through a dataset of its own, must still each get
// the rows they ask for, whether the raw band is the model's own or that of
// a VRT the model is made of.
TEST_F(GdalSourceTest, AVrtOfARawFileReadByManyThreadsGivesItsRows)
{
    const int32_t rows = 6000, columns = 500;  // many short reads: unguarded ones collide
    const auto altitude = [](int32_t i, int32_t j) { return static_cast<uint16_t>((i * 31 + j * 7) % 60000); };
    std::vector<unsigned char> raw;
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < columns; ++j) {
            const uint16_t value = altitude(i, j);
            raw.push_back(static_cast<unsigned char>(value & 0xff));
            raw.push_back(static_cast<unsigned char>(value >> 8));
        }
    write_file("model.raw", raw);
    const std::string size = "rasterXSize=\"" + std::to_string(columns) + "\" rasterYSize=\"" + std::to_string(rows) + "\"";
    write_text_file("raw.vrt", "<VRTDataset " + size +
                                   "><VRTRasterBand dataType=\"UInt16\" band=\"1\" subClass=\"VRTRawRasterBand\">"
                                   "<SourceFilename relativetoVRT=\"1\">model.raw</SourceFilename>"
                                   "<PixelOffset>2</PixelOffset><LineOffset>" + std::to_string(2 * columns) +
                                   "</LineOffset><ByteOrder>LSB</ByteOrder></VRTRasterBand></VRTDataset>");
    const std::string rect = "xOff=\"0\" yOff=\"0\" xSize=\"" + std::to_string(columns) + "\" ySize=\"" + std::to_string(rows) + "\"";
    write_text_file("mosaic.vrt", "<VRTDataset " + size + "><VRTRasterBand dataType=\"UInt16\" band=\"1\"><SimpleSource>"
                                  "<SourceFilename relativeToVRT=\"1\">raw.vrt</SourceFilename><SourceBand>1</SourceBand>"
                                  "<SrcRect " + rect + "/><DstRect " + rect + "/></SimpleSource></VRTRasterBand></VRTDataset>");
    for (const std::string name : {"raw.vrt", "mosaic.vrt"}) {
        SCOPED_TRACE(name);
        const std::string path = path_of(name);
        const auto model = gdal_formats(path).open_source(path, 1, std::nullopt, [](const std::string&) {});
        std::atomic<int64_t> wrong{0};
        const auto read_every = [&](int32_t start) {
            std::vector<double> row(static_cast<size_t>(columns));
            for (int32_t k = 0; k < rows; ++k) {
                const int32_t i = (start + k * 7) % rows;
                const std::span<const double> got = model->read_row(i, row);
                for (int32_t j = 0; j < columns; ++j) wrong += got[static_cast<size_t>(j)] != altitude(i, j);
            }
        };
        std::vector<std::thread> readers;
        for (int32_t start = 0; start < rows; start += rows / 8) readers.emplace_back(read_every, start);
        for (std::thread& reader : readers) reader.join();
        EXPECT_EQ(wrong.load(), 0);
    }
}

}  // namespace
