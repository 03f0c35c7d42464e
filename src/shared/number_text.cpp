#include "shared/number_text.h"

#include <charconv>

namespace {

// Drops the leading decimal digits of `text`; returns how many there were.
size_t skip_digits(std::string_view& text)
{
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    text.remove_prefix(digits);
    return digits;
}

void skip_sign(std::string_view& text)
{
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
}

}  // namespace

bool is_integer_text(std::string_view text)
{
    skip_sign(text);
    return skip_digits(text) > 0 && text.empty();
}

bool is_decimal_text(std::string_view text)
{
    skip_sign(text);
    size_t mantissa_digits = skip_digits(text);
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        mantissa_digits += skip_digits(text);
    }
    if (mantissa_digits == 0) return false;
    if (!text.empty() && (text.front() == 'e' || text.front() == 'E')) {
        text.remove_prefix(1);
        skip_sign(text);
        if (skip_digits(text) == 0) return false;
    }
    return text.empty();
}

std::string readable_text(double value)
{
    const auto single = static_cast<float>(value);
    char text[32];
    if (static_cast<double>(single) == value) {
        const auto [end, problem] = std::to_chars(text, text + sizeof text, single);
        if (problem == std::errc()) return std::string(text, end);
    }
    const auto [end, problem] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    const std::string shortest = shortest_text(value);
    return problem == std::errc() && static_cast<size_t>(end - text) < shortest.size() ? std::string(text, end)
                                                                                       : shortest;
}

std::string shortest_text(double value)
{
    char text[32];
    const auto [end, problem] = std::to_chars(text, text + sizeof text, value);
    return problem == std::errc() ? std::string(text, end) : std::to_string(value);
}
