// Numbers as reports show them: short, yet never another value's digits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "shared/number_text.h"

TEST(NumberText, ReportsShowTheDigitsAPersonMeant)
{
    const struct {
        double value;
        const char* readable;
    } cases[] = {
        {-34042 * 0.3048, "-10376.0016"},                 // a product's last bits left out
        {25699 * 0.3048, "7833.0552"},
        {static_cast<double>(72.78624f), "72.78624"},     // a Float32 band's value
        {0.1, "0.1"},
        {1e-320, "1e-320"},                               // shorter exactly than in 15 digits
        {-1e308, "-1e+308"},
        {6228.8125, "6228.8125"},
        {1.0 / 3, "0.333333333333333"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readable_text(c.value), c.readable);
        // Never another value: the same float, or within the 15th digit.
        const std::string text = readable_text(c.value);
        if (static_cast<float>(c.value) == c.value)
            EXPECT_EQ(std::strtof(text.c_str(), nullptr), static_cast<float>(c.value)) << text;
        else
            EXPECT_NEAR(std::strtod(text.c_str(), nullptr), c.value, std::abs(c.value) * 1e-14) << text;
    }
}
