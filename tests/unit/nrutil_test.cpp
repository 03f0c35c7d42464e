#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "NRUTIL.h"

namespace {

// Records every block given back, and can make the n-th request fail.
std::vector<void*> g_released;
int g_requests = 0;
int g_fail_at = -1;  // request number (counting from 0) that fails; -1: none

void* counting_calloc(size_t count, size_t size)
{
    if (g_requests++ == g_fail_at) return nullptr;
    return std::calloc(count, size);
}

void recording_free(void* block)
{
    g_released.push_back(block);
    std::free(block);
}

class NrutilTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_released.clear();
        g_requests = 0;
        g_fail_at = -1;
        nrutil_set_block_functions(counting_calloc, recording_free);
    }
    void TearDown() override { nrutil_set_block_functions(nullptr, nullptr); }
};

TEST_F(NrutilTest, GridHasItsShapeAndStartsAtZero)
{
    unsigned char** m = ucmatrice(3, 2);
    ASSERT_NE(m, nullptr);
    m[1][2] = 9;  // the last cell of the second line
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(m[i][j], (i == 1 && j == 2) ? 9 : 0) << i << "," << j;
    frucmatrice(m, 2);

    double** d = dmatrice(4, 3);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(d[i][j], 0.0);
    frdmatrice(d, 3);
}

TEST_F(NrutilTest, RowsAreSeparateBlocks)
{
    unsigned char** m = ucmatrice(5, 2);
    ASSERT_NE(m, nullptr);
    for (int j = 0; j < 5; ++j) m[0][j] = 255;
    for (int j = 0; j < 5; ++j) EXPECT_EQ(m[1][j], 0);
    EXPECT_NE(m[0], m[1]);
    frucmatrice(m, 2);
    EXPECT_EQ(g_requests, 3);  // the row pointers, then one block per row
}

TEST_F(NrutilTest, EveryElementTypeHasItsWidth)
{
    uint16_t** us = usmatrice(2, 2);
    int16_t** s = smatrice(2, 2);
    int32_t** i = imatrice(2, 2);
    float** f = fmatrice(2, 2);
    long double** ld = ldmatrice(2, 2);
    ASSERT_TRUE(us && s && i && f && ld);
    us[1][1] = 65535;
    s[1][1] = -32768;
    i[1][1] = -1;
    f[1][1] = 0.5f;
    ld[1][1] = 1.0L / 3;
    EXPECT_EQ(us[1][1], 65535);
    EXPECT_EQ(s[1][1], -32768);
    EXPECT_EQ(i[1][1], -1);
    EXPECT_EQ(f[1][1], 0.5f);
    EXPECT_EQ(ld[1][1], 1.0L / 3);
    EXPECT_EQ(us[0][0] + s[0][0] + i[0][0], 0);
    frusmatrice(us, 2);
    frsmatrice(s, 2);
    frimatrice(i, 2);
    frfmatrice(f, 2);
    frldmatrice(ld, 2);

    unsigned char* uv = ucvecteur(4);
    uint16_t* usv = usvecteur(4);
    int16_t* sv = svecteur(4);
    int32_t* iv = ivecteur(4);
    float* fv = fvecteur(4);
    double* dv = dvecteur(4);
    ASSERT_TRUE(uv && usv && sv && iv && fv && dv);
    EXPECT_EQ(uv[3] + usv[3] + sv[3] + iv[3], 0);
    EXPECT_EQ(fv[3] + dv[3], 0.0);
    frucvecteur(uv);
    frusvecteur(usv);
    frsvecteur(sv);
    frivecteur(iv);
    frfvecteur(fv);
    frdvecteur(dv);
    EXPECT_EQ(g_released.size(), 5u * 3 + 6);
}

TEST_F(NrutilTest, EmptyAndNegativeRequestsYieldNull)
{
    EXPECT_EQ(ucmatrice(0, 5), nullptr);
    EXPECT_EQ(ucmatrice(5, 0), nullptr);
    EXPECT_EQ(ucvecteur(0), nullptr);
    EXPECT_EQ(dmatrice(-1, 5), nullptr);
    EXPECT_EQ(dmatrice(5, -1), nullptr);
    EXPECT_EQ(ivecteur(-3), nullptr);
    EXPECT_EQ(g_requests, 0);  // nothing was even asked for
}

TEST_F(NrutilTest, ReleaseGivesBackRowsInOrderThenThePointerBlock)
{
    unsigned char** m = ucmatrice(4, 3);
    ASSERT_NE(m, nullptr);
    std::vector<void*> expected = {m[0], m[1], m[2], m};
    frucmatrice(m, 3);
    EXPECT_EQ(g_released, expected);
}

TEST_F(NrutilTest, ReleaseWithoutLinesGivesBackOnlyThePointerBlock)
{
    unsigned char** m = ucmatrice(4, 1);
    ASSERT_NE(m, nullptr);
    unsigned char* row = m[0];
    frucmatrice(m, 0);
    EXPECT_EQ(g_released, std::vector<void*>{m});
    std::free(row);
}

TEST_F(NrutilTest, FailedRequestGivesBackWhatItHadObtained)
{
    g_fail_at = 3;  // pointer block, rows 0 and 1 succeed; row 2 fails
    EXPECT_EQ(dmatrice(10, 5), nullptr);
    EXPECT_EQ(g_released.size(), 3u);  // rows 0 and 1, then the pointer block

    g_released.clear();
    g_requests = 0;
    g_fail_at = 0;  // the pointer block itself fails
    EXPECT_EQ(ucmatrice(10, 5), nullptr);
    EXPECT_TRUE(g_released.empty());

    g_requests = 0;
    EXPECT_EQ(dvecteur(8), nullptr);
}

}  // namespace
