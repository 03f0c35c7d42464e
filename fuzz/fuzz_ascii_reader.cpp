// Fuzz target: the bytes as an ASCII grid file, read by read_ascii_grid.
//
// A refusal (RunError) is an expected outcome; a crash, a sanitizer report, a
// leak, a hang or a model that breaks the invariants below is a finding.
//
// Size cap: the reader allocates the whole grid that the header promises
// before it reads the body, so a header such as "ncols 30000 nrows 30000"
// would allocate gigabytes and only then fail on the short body. Every cell
// needs at least one character and one separator (the last cell no
// separator), so an input whose header promises more than (bytes + 1) / 2
// cells can never be read whole; such inputs are skipped before the reader
// sees them.
//
// Chunk boundaries: the reader reads its file in chunks of ascii_chunk_bytes
// and completes a token cut by a chunk end from the next chunk. Inputs that
// start with the byte 0x01 exercise that path: the second byte chooses how
// far before the first chunk end the rest of the input starts, and the gap is
// filled with blanks.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "shared/run_error.h"
#include "input/ascii_reader.h"
#include "reference/whole_grid_readers.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

bool same_ignoring_case(std::string_view a, const char* b)
{
    if (a.size() != std::strlen(b)) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(a[k])) != b[k]) return false;
    return true;
}

// A whole token as a positive size that fits 32 bits (what the reader could
// accept), or 0.
int64_t size_value(std::string_view token)
{
    const std::string text(token);
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || v <= 0 || v > INT32_MAX) return 0;
    return v;
}

struct Layout {
    int64_t cells = 0;        // ncols x nrows, or 0 when the header names no such pair
    int64_t body_values = 0;  // tokens from the first that starts like a number
};

// What the header promises (keywords in any case) and how many tokens follow
// it. Walks the header as the reader does: keyword, value, keyword, value, ...
// up to the first token that starts like a number; a byte-order mark at the
// start is skipped.
Layout layout_of(const char* text, size_t size)
{
    size_t pos = size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    const auto next = [&](std::string_view& token) {
        while (pos < size && is_blank(text[pos])) ++pos;
        const size_t start = pos;
        while (pos < size && !is_blank(text[pos])) ++pos;
        token = std::string_view(text + start, pos - start);
        return pos > start;
    };
    int64_t ncols = 0, nrows = 0;
    Layout layout;
    std::string_view keyword, value;
    while (next(keyword)) {
        const char c = keyword.front();
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',') {
            for (layout.body_values = 1; next(value);) ++layout.body_values;
            break;
        }
        if (!next(value)) break;
        if (same_ignoring_case(keyword, "ncols")) ncols = size_value(value);
        if (same_ignoring_case(keyword, "nrows")) nrows = size_value(value);
    }
    layout.cells = ncols > 0 && nrows > 0 ? ncols * nrows : 0;
    return layout;
}

void check_model(const AsciiModel& model, const std::vector<int32_t>& progress, const Layout& layout)
{
    FUZZ_CHECK(model.column_count > 0 && model.row_count > 0);
    // Exactly one value per cell: none missing, none left over.
    FUZZ_CHECK(layout.body_values == int64_t{model.column_count} * model.row_count);
    FUZZ_CHECK(model.altitude_grid);
    FUZZ_CHECK(std::isfinite(model.cell_size) && model.cell_size >= 0);
    // A grid placed on the map lies at a finite place, with cells of a size.
    if (model.georeference.present) {
        const auto& gt = model.georeference.geotransform;
        FUZZ_CHECK(std::isfinite(gt[0]) && std::isfinite(gt[3]));
        FUZZ_CHECK(std::isfinite(gt[1]) && gt[1] > 0 && std::isfinite(gt[5]) && gt[5] != 0);
    }
    // A cell is an altitude or, counted, a cell without data (NaN); never infinite.
    int64_t no_data_cells = 0;
    for (int32_t i = 0; i < model.row_count; ++i)
        for (int32_t j = 0; j < model.column_count; ++j) {
            FUZZ_CHECK(!std::isinf(model.altitude_grid[i][j]));
            no_data_cells += std::isnan(model.altitude_grid[i][j]);
        }
    FUZZ_CHECK(no_data_cells == model.no_data_cells);
    // Progress comes before rows 100, 200, ... and for nothing else.
    FUZZ_CHECK(progress.size() == static_cast<size_t>((model.row_count - 1) / 100));
    for (size_t k = 0; k < progress.size(); ++k) FUZZ_CHECK(progress[k] == static_cast<int32_t>(100 * (k + 1)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text;
    size_t payload = size;
    if (size >= 2 && data[0] == 0x01) {
        // Padding so that the payload starts 0 to 255 bytes before the first chunk end.
        const size_t before_end = data[1];
        text.assign(ascii_chunk_bytes - before_end, ' ');
        text.append(reinterpret_cast<const char*>(data + 2), size - 2);
        payload = size - 2;
    } else {
        text.assign(reinterpret_cast<const char*>(data), size);
    }

    const Layout layout = layout_of(text.data(), text.size());
    if (layout.cells > static_cast<int64_t>((payload + 1) / 2)) return -1;  // never read whole: not added to the corpus

    std::FILE* f1 = stream_of(text.data(), text.size());
    if (f1 == nullptr) return 0;
    std::vector<int32_t> progress;
    try {
        const AsciiModel model = read_ascii_grid(f1, "fuzz.asc", [&progress](int32_t i) { progress.push_back(i); });
        check_model(model, progress, layout);
    } catch (const RunError&) {
        // A refusal with a message: expected for most inputs.
    }
    std::fclose(f1);
    return 0;
}
