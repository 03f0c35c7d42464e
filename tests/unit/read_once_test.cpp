// A run whose plan needs no range from the model (both ends of the levels
// given, or a list of levels) reads a raw model or a large raster once, its
// range measured as it is traced. It must write the files, report the
// figures and refuse the models and plans that the run reading the model
// first for its range writes, reports and refuses.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "output/image_format.h"
#include "run/command_run.h"
#include "shared/run_error.h"
#include "shared/run_in_parallel.h"
#include "gdal_levels.h"
#include "temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// What a run left: its files by name (a GeoTIFF by its pixels), the figures of its report, why it
// failed, and whether rows were traced before the plan was made.
struct Outcome {
    std::map<std::string, Bytes> files;
    std::string figures;
    std::string failure;
    bool traced_before_planning = false;
};

std::vector<std::string> names_of(const std::map<std::string, Bytes>& files)
{
    std::vector<std::string> names;
    for (const auto& file : files) names.push_back(file.first);
    return names;
}

// The report's figures, every altitude to the bit: the range, the cells
// without data, the plan and its levels.
std::string figures_of(const Model& model, const Plan& plan)
{
    const AltitudeRange range = model.altitudes->range();
    char text[128];
    std::snprintf(text, sizeof text, "range %a to %a, %lld without data; %d levels, table unit %d, %s\n", range.lowest,
                  range.highest, static_cast<long long>(range.no_data_cells), plan.level_count, plan.table_unit,
                  plan.unit.c_str());
    std::string figures = text;
    for (const Level& level : plan_levels(plan, range.highest)) {
        std::snprintf(text, sizeof text, "%d %a%s\n", level.tone, level.altitude, level.top ? " top" : "");
        figures += text;
    }
    return figures;
}

// A raster of 2050 x 2050 Int16 cells (more than a run keeps in memory, so
// read again from its file) with an ESRI header beside it: a relief of whole
// meters with gaps of several shapes, the value -32768 without data.
struct GappyRelief {
    static constexpr int32_t size = 2050;
    double lowest = INFINITY;
    double highest = -INFINITY;

    static bool is_gap(int32_t r, int32_t c)
    {
        return (r >= 400 && r < 420 && c >= 300 && c < 900) || r == 1000 || (c == 77 && r > 1500) ||
               (static_cast<uint32_t>(r) * 2654435761u ^ static_cast<uint32_t>(c) * 40503u) % 997 == 0;
    }
    static int altitude(int32_t r, int32_t c)
    {
        return static_cast<int>(std::lround(1500 + 900 * std::sin(r / 170.0) * std::cos(c / 230.0) + (r % 13) - c / 400.0));
    }

    // Writes `stem`.bil and its header `stem`.hdr into `folder`; `every_gap`:
    // no cell has data.
    void write(const std::string& folder, const std::string& stem, bool every_gap)
    {
        constexpr int no_data = -32768;
        std::vector<unsigned char> bytes(static_cast<size_t>(size) * size * 2);
        for (int32_t r = 0; r < size; ++r)
            for (int32_t c = 0; c < size; ++c) {
                const int value = every_gap || is_gap(r, c) ? no_data : altitude(r, c);
                if (value != no_data) {
                    lowest = std::min<double>(lowest, value);
                    highest = std::max<double>(highest, value);
                }
                const size_t k = (static_cast<size_t>(r) * size + static_cast<size_t>(c)) * 2;
                bytes[k] = static_cast<unsigned char>(value & 0xFF);
                bytes[k + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
            }
        std::FILE* f = std::fopen((folder + stem + ".bil").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
        f = std::fopen((folder + stem + ".hdr").c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fprintf(f, "BYTEORDER I\nLAYOUT BIL\nNROWS %d\nNCOLS %d\nNBANDS 1\nNBITS 16\nPIXELTYPE SIGNEDINT\nNODATA %d\n",
                     size, size, no_data);
        std::fclose(f);
    }
};

class ReadOnceTest : public TempFolderTest {
protected:
    void TearDown() override
    {
        chosen_engine_threads() = 0;
        TempFolderTest::TearDown();
    }

    // Runs the plan over the model into `folder` (of the test's folder),
    // reading the model first for its range or not.
    Outcome run(const std::string& model, const PlanRequest& plan, const std::string& extension, bool range_first,
                const std::string& folder)
    {
        const fs::path results = path_of(folder);
        fs::create_directories(results);
        RunRequest request;
        request.model.path = path_of(model);
        request.plan = plan;
        request.image = (results / ("contours" + extension)).string();
        request.format = *image_format_of(request.image);
        request.table = (results / "contours_tab.txt").string();
        request.threads = 3;  // stripes with seams to repair on two cores too
        request.range_first = range_first;

        Outcome outcome;
        std::atomic<bool> traced{false};
        RequestHooks hooks;
        hooks.on_reading = [](int64_t, int64_t) {};
        hooks.tracing.on_rows = [&](int64_t, int64_t) { traced = true; };
        hooks.on_planned = [&](const Model& m, const Plan& p) {
            outcome.traced_before_planning = traced;
            outcome.figures = figures_of(m, p);
        };
        try {
            run_request(request, hooks);
        } catch (const RunError& e) {
            outcome.failure = e.what();
            outcome.traced_before_planning = traced;
        }
        for (const auto& entry : fs::directory_iterator(results)) {
            const std::string name = entry.path().filename().string();
            // The run's lock in the folder, held while the process lives.
            if (name.rfind(".it4-", 0) == 0 && name.substr(name.size() - 4) == ".run") continue;
#ifdef ISOLINES_WITH_GDAL
            if (name.ends_with(".tif")) {
                const std::string pixels = gdal_levels_text(entry.path().string());
                outcome.files[name] = Bytes(pixels.begin(), pixels.end());
                continue;
            }
#endif
            outcome.files[name] = read_bytes(entry.path().string());
        }
        return outcome;
    }
};

PlanRequest every(double interval, double lowest, double highest)
{
    PlanRequest plan;
    plan.interval = interval;
    plan.lowest = lowest;
    plan.highest = highest;
    return plan;
}

PlanRequest listed(std::vector<double> levels)
{
    PlanRequest plan;
    plan.listed = std::move(levels);
    return plan;
}

TEST_F(ReadOnceTest, GivesTheFilesFiguresAndRefusalsOfTheRunThatReadsTheRangeFirst)
{
#ifdef _WIN32
    // A run keeps its folder's lock open while its process lives, and
    // Windows removes no folder that holds an open file: the runs of this
    // test, all in one process, could not clear their folders.
    GTEST_SKIP() << "many runs in one process";
#endif
    // The raw sample, -5205 to 6229 m.
    const std::string models = std::string(ISOLINES_TEST_DATA) + "/models/";
    fs::copy_file(models + "himalaya_m4.raw", path_of("himalaya_m4.raw"));
    fs::copy_file(models + "himalaya_m4.txt", path_of("himalaya_m4.txt"));
    struct Case {
        std::string name;
        std::string model;
        PlanRequest plan;
        std::string extension;
        bool fails;
    };
    std::vector<Case> cases = {
        {"raw, a level on the highest altitude", "himalaya_m4.raw", every(500, -5271, 6229), ".bmp", false},
        {"raw, listed levels, the highest among them", "himalaya_m4.raw", listed({6229, 0, -100.5}), ".bmp", false},
        {"raw, no level on the highest altitude", "himalaya_m4.raw", every(400, -5000, 6000), ".raw", false},
    };
#ifdef ISOLINES_WITH_GDAL
    GappyRelief relief;
    relief.write(folder(), "relief", false);
    GappyRelief empty;
    empty.write(folder(), "empty", true);
    const double top = relief.highest;
    const std::vector<Case> rasters = {
        {"gaps, a level on the highest altitude", "relief.bil", every(250, top - 1500, top), ".bmp", false},
        {"gaps, the highest altitude amid the levels: those above it half an interval lower", "relief.bil",
         every(0.5, top - 5, top + 5), ".bmp", false},
        {"gaps, no level on the highest altitude", "relief.bil", every(100, relief.lowest + 1, top - 1), ".bmp", false},
        {"gaps, listed levels, the highest among them", "relief.bil", listed({1000, top, relief.lowest}), ".bmp", false},
        {"gaps, 300 levels in 16-bit tones, the last on the highest altitude", "relief.bil",
         every(2, top - 598, top), ".tif", false},
        {"gaps, listed levels none of which lies within the model", "relief.bil",
         listed({top + 1, relief.lowest - 1}), ".bmp", true},
        {"every cell without data", "empty.bil", every(100, 0, 1000), ".bmp", true},
    };
    cases.insert(cases.end(), rasters.begin(), rasters.end());
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome twice = run(c.model, c.plan, c.extension, true, "twice");
        const Outcome once = run(c.model, c.plan, c.extension, false, "once");
        EXPECT_EQ(once.failure, twice.failure);
        EXPECT_EQ(once.figures, twice.figures);
        EXPECT_EQ(names_of(once.files), names_of(twice.files));
        for (const auto& [name, bytes] : once.files)
            EXPECT_TRUE(twice.files.count(name) && twice.files.at(name) == bytes) << name << " differs";
        EXPECT_EQ(!twice.failure.empty(), c.fails) << twice.failure;
        EXPECT_EQ(twice.files.empty(), c.fails);
        EXPECT_FALSE(twice.traced_before_planning);
        EXPECT_TRUE(once.traced_before_planning) << "the model read once is planned after its tracing";
        fs::remove_all(path_of("twice"));
        fs::remove_all(path_of("once"));
    }
}

}  // namespace
