// Numbers as the program reads and writes them: whole decimal words on
// input (the dialogue's answers and the command line's options alike), and
// the shortest text that reads back to the same double on output.
#ifndef SHARED_NUMBER_TEXT_H
#define SHARED_NUMBER_TEXT_H

#include <string>
#include <string_view>

// [+-]digits
bool is_integer_text(std::string_view text);

// [+-]digits[.digits][e[+-]digits], also with no digits before or after the
// point (".5", "5."), but at least one digit in the mantissa. Hexadecimal
// forms, "nan" and "inf" are not.
bool is_decimal_text(std::string_view text);

// The shortest decimal text that reads back as `value` ("500", "0.1", "-1e+30").
std::string shortest_text(double value);

// The value as a report shows it: the shortest text of the float it is, when
// it is one (a Float32 band's 72.78624, not 72.78624093017578), else the
// shorter of the shortest exact text and 15 significant digits, which leave
// out the noise of the last bits of a product (-34042 x 0.3048 shows as
// -10376.0016, not -10376.001600000001).
std::string readable_text(double value);

#endif
