#include "console.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdlib>

#include "platform.h"
#include "run_error.h"

namespace console {

namespace {

std::FILE* g_in = nullptr;  // null: standard input
std::string g_pending;      // the unread rest of a token a number was taken from

std::FILE* input() { return g_in != nullptr ? g_in : stdin; }

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The next whitespace-delimited token, or false at the end of input.
bool next_token(std::string& token)
{
    if (!g_pending.empty()) {
        token.swap(g_pending);
        g_pending.clear();
        return true;
    }
    std::fflush(stdout);  // a prompt ends without a line feed: show it before waiting
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

// Keeps what follows the converted front of the token for the next answer.
void keep_rest(const std::string& token, size_t used) { g_pending = token.substr(used); }

[[noreturn]] void input_ended()
{
    throw RunError("standard input ended before the dialogue was complete");
}

}  // namespace

void set_input(std::FILE* in)
{
    g_in = in;
    g_pending.clear();
}

void print(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}

Read read_int(int& value)
{
    std::string token;
    if (!next_token(token)) return Read::end_of_input;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(token.c_str(), &end, 10);
    const size_t used = static_cast<size_t>(end - token.c_str());
    if (used == 0 || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return Read::bad_token;
    value = static_cast<int>(parsed);
    keep_rest(token, used);
    return Read::ok;
}

Read read_double(double& value)
{
    std::string token;
    if (!next_token(token)) return Read::end_of_input;
    char* end = nullptr;
    const double parsed = std::strtod(token.c_str(), &end);
    const size_t used = static_cast<size_t>(end - token.c_str());
    // Infinities and NaN are no altitudes or intervals: such a token is refused.
    if (used == 0 || !std::isfinite(parsed)) return Read::bad_token;
    value = parsed;
    keep_rest(token, used);
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
    if (in == stdin && platform::input_is_terminal()) {
        g_pending.clear();
        platform::wait_terminal_key();
        return;
    }
    if (!g_pending.empty()) {
        g_pending.erase(0, 1);
        return;
    }
    (void)std::getc(in);  // one byte, or nothing at the end of input
}

}  // namespace console
