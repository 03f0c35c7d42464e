// Reader of ASCII grids: a keyword header, then the altitudes as text.
//
// The file is read in large chunks and every token is converted with
// std::from_chars, which yields the correctly rounded double of the decimal
// text (the same double as strtod) many times faster than formatted input.
#include "input/ascii_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "input/model_size.h"
#include "platform/platform.h"
#include "shared/run_error.h"

namespace {

// ---- Tokens ----

inline bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A token as it may appear in a message: cut when it is very long.
std::string quoted(std::string_view token)
{
    constexpr size_t longest = 40;
    if (token.size() <= longest) return "'" + std::string(token) + "'";
    return "'" + std::string(token.substr(0, longest)) + "...'";
}

// Splits a stream into white-space-separated tokens, reading it in chunks of
// ascii_chunk_bytes. A token cut by the end of a chunk is moved to the front
// of the buffer and completed by the next read.
class TokenReader {
public:
    TokenReader(std::FILE* f1, const std::string& path) : f1_(f1), path_(path), buffer_(ascii_chunk_bytes) {}

    // Gives the next token, or false at the end of the file. The token stays
    // valid until the next call.
    bool next(std::string_view& token)
    {
        for (;;) {
            while (pos_ < end_ && is_blank(buffer_[pos_])) ++pos_;
            if (pos_ < end_) break;
            drop_front(end_);
            if (!read_more()) return false;
        }
        size_t start = pos_;
        for (;;) {
            while (pos_ < end_ && !is_blank(buffer_[pos_])) ++pos_;
            if (pos_ < end_ || at_end_) break;
            start = carry_over(start);
            read_more();
        }
        last_start_ = start;
        token = std::string_view(buffer_.data() + start, pos_ - start);
        return true;
    }

    // Makes the next call give the last token again.
    void unread() { pos_ = last_start_; }

    // The line of the file (counting from 1) on which the last token given
    // out starts. Counted only when asked: it is needed for messages alone.
    int64_t line_of_last_token() const
    {
        const auto first = buffer_.begin();
        return lines_before_buffer_ + std::count(first, first + static_cast<std::ptrdiff_t>(last_start_), '\n') + 1;
    }

private:
    // Moves the unfinished token at `start` to the front of the buffer.
    size_t carry_over(size_t start)
    {
        const size_t length = pos_ - start;
        if (start == 0)
            throw RunError(path_ + ": a token longer than " + std::to_string(buffer_.size()) + " bytes begins with " +
                           quoted(std::string_view(buffer_.data(), length)));
        drop_front(start);
        return 0;
    }

    // Discards the first `count` bytes of the buffer (all of them read),
    // keeping the count of the line ends they held.
    void drop_front(size_t count)
    {
        const auto first = buffer_.begin();
        lines_before_buffer_ += std::count(first, first + static_cast<std::ptrdiff_t>(count), '\n');
        std::memmove(buffer_.data(), buffer_.data() + count, end_ - count);
        end_ -= count;
        pos_ -= count;
    }

    // Appends the next bytes of the file after end_; false when none came.
    bool read_more()
    {
        if (at_end_) return false;
        const size_t wanted = buffer_.size() - end_;
        const size_t got = std::fread(buffer_.data() + end_, 1, wanted, f1_);
        if (got < wanted) {
            if (std::ferror(f1_)) throw RunError("read error on " + path_);
            at_end_ = true;
        }
        end_ += got;
        if (!mark_looked_for_) skip_byte_order_mark();
        return got > 0;
    }

    // A UTF-8 byte-order mark before the first keyword is no part of it.
    // The first read fills the buffer (or reaches the end of the file), so
    // the mark is whole in it when there is one.
    void skip_byte_order_mark()
    {
        static constexpr char mark[] = "\xEF\xBB\xBF";
        mark_looked_for_ = true;
        if (end_ >= 3 && std::memcmp(buffer_.data(), mark, 3) == 0) pos_ = 3;
    }

    std::FILE* f1_;
    const std::string& path_;
    std::vector<char> buffer_;
    size_t pos_ = 0;         // first byte not yet given out
    size_t end_ = 0;         // end of the bytes read into the buffer
    size_t last_start_ = 0;  // where the last token given out starts
    int64_t lines_before_buffer_ = 0;  // line ends in the bytes already dropped
    bool at_end_ = false;
    bool mark_looked_for_ = false;  // the start of the file has been looked at
};

// ---- Numbers ----

// Where the digits of a number token start: after a leading '+', which
// from_chars does not take. Null for an empty token or "+" followed by a sign.
const char* number_start(std::string_view token)
{
    const char* first = token.data();
    const char* const last = first + token.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') return nullptr;
    }
    return first == last ? nullptr : first;
}

// Converts the whole token, written with a decimal point, to a double; false
// when it is not a number. A leading '+' is accepted. A value beyond the range
// of a double becomes infinite (too large) or 0 or a subnormal (too small), as
// strtod gives them.
bool parse_point_real(std::string_view token, double& value)
{
    const char* first = number_start(token);
    const char* const last = token.data() + token.size();
    if (first == nullptr) return false;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ptr != last) return false;
    if (ec == std::errc::result_out_of_range) {
        value = std::strtod(std::string(first, last).c_str(), nullptr);
        return true;
    }
    return ec == std::errc();
}

// A writer in a locale with a decimal comma writes "0,100000E+06" or
// ",500E+02": a single comma in place of the point is read as the point, as
// GDAL reads such grids. Kept out of line: the usual grid never comes here.
[[gnu::noinline]] bool parse_decimal_comma(std::string_view token, double& value)
{
    const size_t comma = token.find(',');
    if (comma == std::string_view::npos || token.find_first_of(",.", comma + 1) != std::string_view::npos ||
        token.substr(0, comma).find('.') != std::string_view::npos)
        return false;
    std::string with_point(token);
    with_point[comma] = '.';
    return parse_point_real(with_point, value);
}

// Converts the whole token to a double (as parse_point_real; "nan" gives
// NaN), written with a decimal point or a decimal comma.
bool parse_real(std::string_view token, double& value)
{
    if (parse_point_real(token, value)) [[likely]]
        return true;
    return parse_decimal_comma(token, value);
}

// Converts the whole token to an integer; false when it is not one or does
// not fit 64 bits.
bool parse_integer(std::string_view token, int64_t& value)
{
    const char* first = number_start(token);
    const char* const last = token.data() + token.size();
    if (first == nullptr) return false;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    return ptr == last && ec == std::errc();
}

// The header ends at the first token that is a number: it starts like one,
// or it is one of the words a number may be written as (nan, inf).
bool looks_like_number(std::string_view token)
{
    const char c = token.front();
    if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',') return true;
    double ignored = 0;
    return parse_real(token, ignored);
}

// ---- Header ----

enum class Field { ncols, nrows, x, y, cellsize, dx, dy, nodata, count };

struct Keyword {
    const char* name;
    Field field;
};

constexpr Keyword keywords[] = {
    {"ncols", Field::ncols},         {"nrows", Field::nrows},       {"xllcorner", Field::x},
    {"xllcenter", Field::x},         {"yllcorner", Field::y},       {"yllcenter", Field::y},
    {"cellsize", Field::cellsize},   {"dx", Field::dx},             {"dy", Field::dy},
    {"nodata_value", Field::nodata},
};

const char* const known_keywords = "ncols, nrows, xllcorner or xllcenter, yllcorner or yllcenter, cellsize or dx "
                                   "(with an optional dy), nodata_value";

bool same_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
            return false;
    return true;
}

const Keyword* find_keyword(std::string_view token)
{
    for (const Keyword& k : keywords)
        if (same_ignoring_case(token, k.name)) return &k;
    return nullptr;
}

struct Header {
    int64_t ncols = 0;
    int64_t nrows = 0;
    double x = 0;                                          // xllcorner or xllcenter
    double y = 0;                                          // yllcorner or yllcenter
    double cell_size = 0;                                  // from cellsize or dx
    double dy = 0;                                         // when given
    // Cells equal to it have no data; NaN when the header gives none (no
    // cell equals NaN) or gives nan (NaN cells have no data in any grid).
    double nodata = std::numeric_limits<double>::quiet_NaN();
    const char* given[static_cast<int>(Field::count)] = {};  // keyword that set each field
};

void store_header_value(Header& header, const Keyword& keyword, std::string_view value, const std::string& path)
{
    if (keyword.field == Field::ncols || keyword.field == Field::nrows) {
        int64_t whole = 0;
        if (!parse_integer(value, whole))
            throw RunError(path + ": the value of " + keyword.name + ", " + quoted(value) + ", is not a whole number");
        (keyword.field == Field::ncols ? header.ncols : header.nrows) = whole;
        return;
    }
    double real = 0;
    if (keyword.field == Field::nodata && parse_real(value, real) && !std::isinf(real)) {
        header.nodata = real;
        return;
    }
    if (!parse_real(value, real) || !std::isfinite(real))
        throw RunError(path + ": the value of " + keyword.name + ", " + quoted(value) + ", is not a finite number");
    if (keyword.field == Field::cellsize || keyword.field == Field::dx) {
        if (real < 0) throw RunError(path + ": the cell size " + keyword.name + " " + quoted(value) + " is negative");
        header.cell_size = real;
    }
    if (keyword.field == Field::x) header.x = real;
    if (keyword.field == Field::y) header.y = real;
    if (keyword.field == Field::dy) header.dy = real;
}

void note_keyword(Header& header, const Keyword& keyword, const std::string& path)
{
    const char*& earlier = header.given[static_cast<int>(keyword.field)];
    if (earlier != nullptr) {
        if (std::strcmp(earlier, keyword.name) == 0)
            throw RunError(path + ": the header gives " + keyword.name + " twice");
        throw RunError(path + ": the header gives both " + earlier + " and " + keyword.name);
    }
    earlier = keyword.name;
    const char* cellsize = header.given[static_cast<int>(Field::cellsize)];
    const char* dx = header.given[static_cast<int>(Field::dx)];
    if (cellsize != nullptr && dx != nullptr) throw RunError(path + ": the header gives both cellsize and dx");
}

void check_header_complete(const Header& header, const std::string& path)
{
    const auto missing = [&](Field f) { return header.given[static_cast<int>(f)] == nullptr; };
    const char* absent = nullptr;
    if (missing(Field::ncols)) absent = "ncols";
    else if (missing(Field::nrows)) absent = "nrows";
    else if (missing(Field::x)) absent = "xllcorner (or xllcenter)";
    else if (missing(Field::y)) absent = "yllcorner (or yllcenter)";
    else if (missing(Field::cellsize) && missing(Field::dx)) absent = "cellsize (or dx)";
    if (absent != nullptr) throw RunError(path + ": the header lacks " + std::string(absent));
    if (!missing(Field::dy) && missing(Field::dx)) throw RunError(path + ": the header gives dy without dx");
}

bool given_as(const Header& header, Field field, const char* keyword)
{
    const char* given = header.given[static_cast<int>(field)];
    return given != nullptr && std::strcmp(given, keyword) == 0;
}

// Where the grid lies, as GDAL places the same grid: the top-left corner of
// the top-left cell from the lower-left corner (or from the centre of the
// lower-left cell, half a cell further in), computed in the same order as
// GDAL so that both give the same doubles. dy, when given, is the height of
// a cell (a negative one turns the grid upside down, as in GDAL); without it
// cells are square. A cell size of 0, or a corner beyond the range of a double
// (a huge cell size times the rows), places nothing: no georeference.
// Unlike GDAL, which places a grid mixing a corner and a centre at (0, 0),
// each axis takes its own keyword.
Georeference georeference_of(const Header& header)
{
    const double dx = header.cell_size;
    const double dy = header.given[static_cast<int>(Field::dy)] != nullptr ? header.dy : dx;
    Georeference geo;
    if (dx == 0 || dy == 0) return geo;
    const double left = given_as(header, Field::x, "xllcenter") ? header.x - 0.5 * dx : header.x;
    const double bottom = given_as(header, Field::y, "yllcenter") ? header.y - 0.5 * dy : header.y;
    const double top = bottom + static_cast<double>(header.nrows) * dy;
    if (!std::isfinite(left) || !std::isfinite(top)) return geo;
    geo.present = true;
    geo.geotransform = {left, dx, 0.0, top, 0.0, -dy};
    return geo;
}

// Reads keyword/value pairs up to the first token that is a number, which is
// left unread as the first value of the body.
Header read_header(TokenReader& tokens, const std::string& path)
{
    Header header;
    std::string_view token;
    while (tokens.next(token)) {
        if (looks_like_number(token)) {
            tokens.unread();
            break;
        }
        const Keyword* keyword = find_keyword(token);
        if (keyword == nullptr)
            throw RunError(path + ": unknown keyword " + quoted(token) + " in the header (known: " + known_keywords +
                           ")");
        note_keyword(header, *keyword, path);
        std::string_view value;
        if (!tokens.next(value))
            throw RunError(path + ": the file ends after the keyword " + keyword->name + ", without its value");
        store_header_value(header, *keyword, value, path);
    }
    check_header_complete(header, path);
    return header;
}

// ---- Body ----

std::string cell_text(int32_t i, int32_t j)
{
    return "row " + std::to_string(i + 1) + ", column " + std::to_string(j + 1) + " (counting from 1)";
}

// A cell equal to `nodata`, or written nan, has no data: it becomes NaN and
// is counted in size.no_data_cells.
void read_body(TokenReader& tokens, const std::string& path, double nodata, AsciiGridSize& size,
               const std::function<void(int32_t)>& on_progress, const std::function<void(int32_t, const double*)>& on_row)
{
    constexpr double no_altitude = std::numeric_limits<double>::quiet_NaN();
    int64_t no_data_cells = 0;
    std::string_view token;
    double value = 0;
    std::vector<double> row(static_cast<size_t>(size.column_count));
    for (int32_t i = 0; i < size.row_count; ++i) {
        if (i > 0 && i % 100 == 0 && on_progress) on_progress(i);
        for (int32_t j = 0; j < size.column_count; ++j) {
            if (!tokens.next(token))
                throw RunError(path + ": the file ends before " + cell_text(i, j) + " of the " +
                               std::to_string(size.row_count) + " rows x " + std::to_string(size.column_count) +
                               " columns its header gives");
            if (!parse_real(token, value))
                throw RunError(path + ": " + cell_text(i, j) + " holds " + quoted(token) + ", which is not a number");
            if (std::isinf(value))
                throw RunError(path + ": " + cell_text(i, j) + " holds " + quoted(token) +
                               ", which is not a finite number");
            if (value == nodata) value = no_altitude;
            no_data_cells += value != value;
            row[j] = value;
        }
        on_row(i, row.data());
    }
    size.no_data_cells = no_data_cells;
    if (tokens.next(token))
        throw RunError(path + ": line " + std::to_string(tokens.line_of_last_token()) + " holds " + quoted(token) +
                       ", a value beyond the " + std::to_string(size.row_count) + " rows x " +
                       std::to_string(size.column_count) + " columns its header gives");
}

}  // namespace

// Refuses a header that promises more values than the file can hold (each
// value takes at least one character and one separator), before the grid is
// made: a small file must not make the program take gigabytes of memory.
void check_file_can_hold(std::FILE* f1, const std::string& path, const Header& header)
{
    const int64_t length = platform::regular_length(platform::descriptor_of(f1));
    if (length < 0) return;  // a pipe: nothing to compare
    const uint64_t cells = static_cast<uint64_t>(header.nrows) * static_cast<uint64_t>(header.ncols);
    const auto bytes = static_cast<uint64_t>(length);
    if (cells > bytes / 2 + 1)
        throw RunError(path + ": the header promises " + std::to_string(header.nrows) + " rows x " +
                       std::to_string(header.ncols) + " columns, more values than its " + std::to_string(bytes) +
                       " bytes can hold");
}

AsciiGridSize read_ascii_rows(std::FILE* f1, const std::string& path, const std::function<void(int32_t)>& on_progress,
                              const std::function<void(const AsciiGridSize&)>& on_size,
                              const std::function<void(int32_t, const double*)>& on_row)
{
    TokenReader tokens(f1, path);
    const Header header = read_header(tokens, path);
    check_model_size(header.nrows, header.ncols, path);
    check_file_can_hold(f1, path, header);

    AsciiGridSize size{static_cast<int32_t>(header.ncols), static_cast<int32_t>(header.nrows), header.cell_size,
                       georeference_of(header)};
    on_size(size);
    read_body(tokens, path, header.nodata, size, on_progress, on_row);
    return size;
}
