#include "dialogue/console.h"

#include "shared/number_text.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "shared/run_error.h"

namespace console {

namespace {

std::FILE* g_in = nullptr;  // null: standard input

std::FILE* input() { return g_in != nullptr ? g_in : stdin; }

int g_output_errno = 0;  // the reason of the first failed write to standard output

void note_output_failure()
{
    if (g_output_errno == 0) g_output_errno = errno != 0 ? errno : EIO;
}

void flush_output()
{
    errno = 0;
    if (std::fflush(stdout) != 0) note_output_failure();
}

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The next whitespace-delimited token, or false at the end of input.
bool next_token(std::string& token)
{
    flush_output();  // a prompt ends without a line feed: show it before waiting
    std::FILE* in = input();
    int c = std::getc(in);
    while (c != EOF && is_space(c)) c = std::getc(in);
    if (c == EOF) return false;
    token.clear();
    while (c != EOF && !is_space(c)) {
        token.push_back(static_cast<char>(c));
        c = std::getc(in);
    }
    if (c != EOF) std::ungetc(c, in);  // the delimiter stays unread, as with scanf
    return true;
}

// Number tokens are whole tokens: a number followed by anything else in the
// same token ("9O", "2,5", "12abc") is refused, never split into a number and
// a next answer. Hexadecimal forms, "nan" and "inf" are refused too.

[[noreturn]] void input_ended()
{
    throw RunError("standard input ended before the dialogue was complete");
}

}  // namespace

void set_input(std::FILE* in)
{
    g_in = in;
}

void print(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    errno = 0;
    if (std::vprintf(format, args) < 0) note_output_failure();
    va_end(args);
}

void check_output()
{
    flush_output();
    if (g_output_errno == 0 && std::ferror(stdout)) g_output_errno = EIO;
    if (g_output_errno != 0)
        throw RunError(std::string("cannot write the transcript to standard output: ") + std::strerror(g_output_errno));
}

Read read_int(int& value)
{
    std::string token;
    if (!next_token(token)) return Read::end_of_input;
    if (!is_integer_text(token)) return Read::bad_token;
    errno = 0;
    const long parsed = std::strtol(token.c_str(), nullptr, 10);
    if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return Read::bad_token;
    value = static_cast<int>(parsed);
    return Read::ok;
}

Read read_double(double& value)
{
    std::string token;
    if (!next_token(token)) return Read::end_of_input;
    if (!is_decimal_text(token)) return Read::bad_token;
    const double parsed = std::strtod(token.c_str(), nullptr);
    // A value beyond the range of a double is no altitude or interval either.
    if (!std::isfinite(parsed)) return Read::bad_token;
    value = parsed;
    return Read::ok;
}

Read read_word(std::string& value)
{
    std::string token;
    if (!next_token(token)) return Read::end_of_input;
    value = token;
    return Read::ok;
}

namespace {

template <typename T, typename Reader>
T ask(const std::function<void()>& prompt, Reader reader)
{
    T value{};
    for (;;) {
        prompt();
        switch (reader(value)) {
        case Read::ok:
            return value;
        case Read::end_of_input:
            input_ended();
        case Read::bad_token:
            break;
        }
    }
}

}  // namespace

int ask_int(const std::function<void()>& prompt) { return ask<int>(prompt, read_int); }
double ask_double(const std::function<void()>& prompt) { return ask<double>(prompt, read_double); }
std::string ask_word(const std::function<void()>& prompt) { return ask<std::string>(prompt, read_word); }

int ask_choice(const std::function<void()>& show_menu, int lowest, int highest)
{
    for (;;) {
        const int choice = ask_int(show_menu);
        if (choice >= lowest && choice <= highest) return choice;
    }
}

void wait_key()
{
    std::fflush(stdout);
    std::FILE* in = input();
    platform::final_wait(true);
    if (in == stdin && platform::input_is_terminal())
        platform::wait_terminal_key();
    else
        (void)std::getc(in);  // one byte, or nothing at the end of input
    platform::final_wait(false);
}

}  // namespace console
