#include "output/palette.h"

#include <cmath>

namespace {

// A colour of hue `hue` (degrees), saturation and value in [0, 1].
Color32 from_hsv(double hue, double saturation, double value)
{
    const double c = value * saturation;
    const double h = std::fmod(hue, 360.0) / 60.0;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h)) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    const double m = value - c;
    const auto byte = [m](double part) { return static_cast<unsigned char>(std::lround((part + m) * 255)); };
    return Color32{byte(b), byte(g), byte(r), 0};
}

}  // namespace

Palette gray_palette(int tone_bytes)
{
    const int shift = 8 * (tone_bytes - 1);
    Palette palette(size_t{1} << (8 * tone_bytes));
    for (size_t i = 0; i < palette.size(); ++i) {
        const auto v = static_cast<unsigned char>(i >> shift);
        palette[i] = Color32{v, v, v, 0};
    }
    return palette;
}

Palette distinct_palette(int first_tone, int level_count, int tone_bytes)
{
    Palette palette = gray_palette(tone_bytes);
    const int last_line_tone = static_cast<int>(palette.size()) - 2;
    // Successive hues a golden angle apart never fall close to a recent one.
    constexpr double golden_angle = 137.50776405003785;
    for (int k = 0; k < level_count; ++k) {
        const int tone = first_tone + k;
        if (tone < 0 || tone > last_line_tone) continue;
        palette[static_cast<size_t>(tone)] = from_hsv(k * golden_angle, 0.9, k % 2 == 0 ? 0.85 : 0.6);
    }
    return palette;
}

void mark_index_levels(Palette& palette, int first_tone, int level_count, int every)
{
    const Palette gray = gray_palette(palette.size() > 256 ? 2 : 1);
    const int last_line_tone = static_cast<int>(palette.size()) - 2;
    for (int k = 0; k < level_count; ++k) {
        const int tone = first_tone + k;
        if (tone < 0 || tone > last_line_tone) continue;
        Color32& colour = palette[static_cast<size_t>(tone)];
        const bool index = k % every == 0;
        const bool gray_ramp = colour.R == gray[static_cast<size_t>(tone)].R && colour.G == colour.R && colour.B == colour.R;
        const auto darker = [](unsigned char part) { return static_cast<unsigned char>(part / 3); };
        if (gray_ramp)
            colour = index ? Color32{0, 0, 0, 0} : Color32{160, 160, 160, 0};
        else if (index)
            colour = Color32{darker(colour.B), darker(colour.G), darker(colour.R), 0};
    }
}
