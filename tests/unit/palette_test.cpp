// Colour tables of the result image.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "output/palette.h"

namespace {

std::tuple<int, int, int> rgb(const Color32& c) { return {c.R, c.G, c.B}; }

}  // namespace

TEST(Palette, GrayShowsEachToneAsItsGray)
{
    const auto palette = gray_palette();
    for (int i = 0; i < 256; ++i) EXPECT_EQ(rgb(palette[i]), std::make_tuple(i, i, i)) << i;
}

// Every level gets a colour of its own, neither the white background nor a
// gray; tones outside the plan keep their gray.
TEST(Palette, DistinctGivesEveryLevelItsOwnColour)
{
    for (const auto& [first_tone, level_count] : {std::pair{1, 250}, std::pair{0, 23}, std::pair{1, 1}}) {
        const auto palette = distinct_palette(first_tone, level_count);
        std::set<std::tuple<int, int, int>> colours;
        for (int tone = first_tone; tone < first_tone + level_count; ++tone) {
            const Color32& c = palette[tone];
            EXPECT_FALSE(c.R == c.G && c.G == c.B) << "tone " << tone << " is a gray";
            colours.insert(rgb(c));
        }
        EXPECT_EQ(colours.size(), static_cast<size_t>(level_count));
        EXPECT_EQ(rgb(palette[255]), std::make_tuple(255, 255, 255));
        for (int tone = first_tone + level_count; tone < 255; ++tone) EXPECT_EQ(rgb(palette[tone]), rgb(gray_palette()[tone]));
    }
}

// Neighbouring levels are far apart, so that two lines side by side can be
// told apart.
TEST(Palette, NeighbouringLevelsDifferClearly)
{
    const auto palette = distinct_palette(1, 250);
    for (int tone = 1; tone < 250; ++tone) {
        const Color32& a = palette[tone];
        const Color32& b = palette[tone + 1];
        const int distance = std::abs(a.R - b.R) + std::abs(a.G - b.G) + std::abs(a.B - b.B);
        EXPECT_GE(distance, 100) << "tones " << tone << " and " << tone + 1;
    }
}
