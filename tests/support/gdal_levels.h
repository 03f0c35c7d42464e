// The pixels of an image as GDAL reads them, level by level: the image,
// then each overview of a GeoTIFF. A streamed GeoTIFF's bytes depend on the
// order its tiles were written in; its pixels do not.
#ifndef TEST_SUPPORT_GDAL_LEVELS_H
#define TEST_SUPPORT_GDAL_LEVELS_H

#ifdef ISOLINES_WITH_GDAL

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "gdal/gdal_formats.h"
#include "shared/run_error.h"

// Level `directory` of the image at `path` (0 the image, 1 its first
// overview...), row after row; throws RunError past the last.
inline std::vector<double> read_gdal_level(const std::string& path, int directory, int32_t& rows, int32_t& columns)
{
    const std::string name = directory == 0 ? path : "GTIFF_DIR:" + std::to_string(directory + 1) + ":" + path;
    const std::unique_ptr<RasterRowSource> source =
        gdal_formats(path).open_source(name, 1, std::nullopt, [](const std::string&) {});
    rows = source->row_count();
    columns = source->column_count();
    std::vector<double> cells(static_cast<size_t>(rows) * static_cast<size_t>(columns));
    for (int32_t i = 0; i < rows; ++i)
        source->read_row(i, std::span<double>(cells).subspan(static_cast<size_t>(i) * static_cast<size_t>(columns),
                                                            static_cast<size_t>(columns)));
    return cells;
}

// Every level of a GeoTIFF, with its size, as one text to compare.
inline std::string gdal_levels_text(const std::string& path)
{
    std::string text;
    for (int directory = 0;; ++directory) {
        int32_t rows = 0, columns = 0;
        std::vector<double> cells;
        try {
            cells = read_gdal_level(path, directory, rows, columns);
        } catch (const RunError&) {
            if (directory == 0) throw;
            return text;
        }
        text.append(std::to_string(rows)).append(" x ").append(std::to_string(columns)).append(":");
        for (double cell : cells) text.append(" ").append(std::to_string(static_cast<int64_t>(cell)));
        text.append("\n");
    }
}

#endif
#endif
