// The whole row pipeline in one process: a model file read by a row source,
// extracted in stripes on several threads, written by a row sink, gives the
// file the whole-grid path writes (reader, reference engine, SauveBMP).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "IMAGE.h"
#include "reference/extraction.h"
#include "contours/stripes.h"
#include "model_builders.h"
#include "output/row_sink.h"
#include "temp_folder.h"
#include "input/raw_row_source.h"
#include "input/raw_samples.h"
#include "input/row_source.h"
#include "input/stored_row_source.h"
#include "reference/whole_grid_readers.h"

namespace {

using Bytes = std::vector<unsigned char>;

class PipelineTest : public TempFolderTest {
protected:
    // Runs the engine in stripes from `source` into a new file through a sink
    // of type Sink; returns the file's bytes.
    template <typename Sink>
    Bytes stream(const RowSource& source, const test_models::Plan& plan, unsigned threads)
    {
        const std::string path = path_of("streamed.out");
        std::FILE* f = std::fopen(path.c_str(), "wb");
        {
            Sink sink(fileno(f), path, source.row_count(), source.column_count());
            const PreparedPlan prepared(&plan.levels, plan.first_tone, plan.level_count, source.range().highest);
            StripeOptions options;
            options.threads = threads;
            options.min_stripe_rows = 16;  // many stripes, many seams to repair
            extract_in_stripes(prepared, source.row_count(), source.column_count(), source, sink, options);
        }
        std::fclose(f);
        return read_bytes(path);
    }
};

TEST_F(PipelineTest, StreamedRunsOnAnyNumberOfThreadsWriteTheFilesOfTheWholeGridPath)
{
    // Whole meters with plateaus (levels fall exactly on cells, summits too),
    // stored as 32-bit decimeters.
    const int32_t row_count = 300, column_count = 47;
    const test_models::Model terraced = test_models::terraced_model(row_count, column_count, 5, 20);
    Bytes raw;
    for (int32_t i = 0; i < row_count; ++i)
        for (int32_t j = 0; j < column_count; ++j) {
            const auto u = static_cast<uint32_t>(static_cast<int32_t>(terraced.grid[i][j] * 10));
            for (int k = 0; k < 4; ++k) raw.push_back(static_cast<unsigned char>(u >> (8 * k)));
        }
    const std::string model_path = write_file("t_m4.raw", raw);

    // The whole-grid path.
    RawRange raw_range{};
    std::FILE* f1 = std::fopen(model_path.c_str(), "rb");
    Grid<double> altitude_grid = read_raw_samples(f1, model_path, row_count, column_count, 1, raw_range);
    std::fclose(f1);
    convert_to_meters(altitude_grid.rows(), row_count, column_count, 1);
    const double highest = raw_range.maxd * 0.1;
    const test_models::Plan plan =
        test_models::plan(raw_range.mind * 0.1, 20, highest, 1, highest);  // the last level is the top
    ASSERT_GT(plan.level_count, 3);
    ASSERT_TRUE(plan.levels.back().top) << "the summit fill takes part";
    Grid<unsigned char> result_grid = make_grid<unsigned char>(column_count, row_count, "result");
    extract_contours_reference(
        ExtractionInput{altitude_grid.rows(), row_count, column_count, &plan.levels, plan.first_tone, plan.level_count, highest},
        result_grid.rows());
    ASSERT_EQ(SauveBMP(path_of("whole.bmp").c_str(), result_grid.rows(), column_count, row_count, 0, nullptr), 0);
    const Bytes whole_bitmap = read_bytes(path_of("whole.bmp"));
    Bytes whole_raw;
    for (int32_t i = 0; i < row_count; ++i) whole_raw.insert(whole_raw.end(), result_grid[i], result_grid[i] + column_count);
    ASSERT_GT(std::count_if(whole_raw.begin(), whole_raw.end(), [](unsigned char t) { return t != 255; }), 500);

    // The streamed path, from the raw file and from rows spilled to disk.
    RawRowSource raw_source(FileHandle(std::fopen(model_path.c_str(), "rb")), model_path, row_count, column_count, 1);
    raw_source.measure_raw_range();
    raw_source.set_unit(1);
    ASSERT_EQ(raw_source.range().highest, highest);
    StoredRowSource spilled(row_count, column_count, folder(), 0);
    for (int32_t i = 0; i < row_count; ++i) spilled.append_row(altitude_grid[i]);
    spilled.finish();

    for (unsigned threads : {1u, 2u, 3u, 8u}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        EXPECT_EQ(stream<BitmapSink>(raw_source, plan, threads), whole_bitmap);
        EXPECT_EQ(stream<RawResultSink>(spilled, plan, threads), whole_raw);
    }
}

}  // namespace
