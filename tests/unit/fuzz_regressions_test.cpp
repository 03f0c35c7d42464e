// Inputs found by the fuzz targets (fuzz/) that once broke the program, kept
// as ordinary tests so that the faults stay mended.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "shared/run_error.h"
#include "input/raw_samples.h"
#include "reference/whole_grid_readers.h"

namespace {

// A stream holding the given bytes; closed by the owner.
struct TempStream {
    explicit TempStream(const std::vector<unsigned char>& bytes) : f(std::tmpfile())
    {
        if (f != nullptr && !bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        if (f != nullptr) std::rewind(f);
    }
    ~TempStream()
    {
        if (f != nullptr) std::fclose(f);
    }
    std::FILE* f;
};

std::string raw_refusal(const std::vector<unsigned char>& bytes, int32_t row_count, int32_t column_count, int sample_kind)
{
    TempStream file(bytes);
    if (file.f == nullptr) return "no temporary file";
    RawRange range{};
    try {
        read_raw_samples(file.f, "big_m4.raw", row_count, column_count, sample_kind, range);
    } catch (const RunError& e) {
        return e.what();
    }
    return "accepted";
}

// fuzz_descriptor: sizes whose byte count lies between 2^63 and 2^64 made
// the count of bytes the file must hold overflow (undefined behaviour; in
// practice a negative count, so the short file passed the check).
TEST(FuzzRegressions, RawModelWhoseByteCountExceeds63BitsIsRefusedAsShortFile)
{
    const std::vector<unsigned char> bytes(24, 0x5c);
    const std::string message = raw_refusal(bytes, 1768546564, 1549533220, 1);
    EXPECT_NE(message.find("big_m4.raw holds 24 bytes"), std::string::npos) << message;
    EXPECT_NE(message.find("need 10961686608139424320 bytes"), std::string::npos) << message;

    // The largest sizes of all, 32-bit samples: the count is just below 2^64.
    const std::string largest = raw_refusal(bytes, INT32_MAX, INT32_MAX, 1);
    EXPECT_NE(largest.find("holds 24 bytes"), std::string::npos) << largest;
}

}  // namespace

namespace {

// fuzz_ascii_reader: a tiny file whose header promised a huge grid made the
// reader take gigabytes of memory before it found the body missing.
TEST(FuzzRegressions, AsciiHeaderPromisingMoreValuesThanTheFileHoldsIsRefusedFirst)
{
    const std::string text = "ncols 30000\nnrows 30000\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n";
    TempStream file(std::vector<unsigned char>(text.begin(), text.end()));
    ASSERT_NE(file.f, nullptr);
    try {
        read_ascii_grid(file.f, "huge.asc", [](int32_t) {});
        FAIL() << "accepted";
    } catch (const RunError& e) {
        EXPECT_NE(std::string(e.what()).find("huge.asc: the header promises 30000 rows x 30000 columns"),
                  std::string::npos)
            << e.what();
    }
}

}  // namespace
