#include <gtest/gtest.h>
#include "input/descriptor.h"

#include <cstdio>
#include <string>


namespace {

struct Values {
    int32_t v[6] = {-1, -1, -1, -1, -1, -1};
    int read(const std::string& text)
    {
        std::FILE* f = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), f);
        std::rewind(f);
        int32_t* const targets[6] = {&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]};
        const int n = read_descriptor(f, targets);
        std::fclose(f);
        return n;
    }
};

TEST(Descriptor, AnyWhiteSpaceSeparatesAndTheRestIsIgnored)
{
    Values d;
    EXPECT_EQ(d.read("540\r\n1081 \t4\n-9027\n6229\n37000\nnotes after the values\n"), 6);
    EXPECT_EQ((std::vector<int32_t>(d.v, d.v + 6)), (std::vector<int32_t>{540, 1081, 4, -9027, 6229, 37000}));
}

TEST(Descriptor, MissingValuesKeepTheirPreviousContent)
{
    Values d;
    EXPECT_EQ(d.read("60\n90\n2\n"), 3);
    EXPECT_EQ(d.v[2], 2);
    EXPECT_EQ(d.v[3], -1);
    EXPECT_EQ(d.v[5], -1);
}

TEST(Descriptor, ReadingStopsAtTheFirstValueThatIsNoInteger)
{
    Values d;
    EXPECT_EQ(d.read("60 lines\n90\n"), 1);
    EXPECT_EQ(d.v[1], -1);
    Values big;
    EXPECT_EQ(big.read("60 3000000000 2\n"), 1);  // beyond 32 bits
    EXPECT_EQ(big.v[1], -1);
    Values empty;
    EXPECT_EQ(empty.read(""), 0);
}

}  // namespace
