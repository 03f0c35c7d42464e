// Fuzz target: the bytes as standard input of the console layer.
//
// Questions of every kind are asked in a fixed repeating order until the input
// ends (the end of input is an expected RunError of the ask_* functions, or
// Read::end_of_input of the read_* functions); then wait_key is called once.
// Prompts print to standard output, which is sent to /dev/null.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "console.h"
#include "fuzz_input.h"
#include "run_error.h"

namespace {

enum class Question { read_int, read_double, read_word, ask_int, ask_double, ask_word, choice_0_1, choice_0_4,
                      choice_neg };

// The order in which the questions are asked, over and over: every kind of
// question follows every other at some point.
constexpr Question kPattern[] = {
    Question::read_word,  Question::read_word,  Question::choice_0_1, Question::read_int,   Question::read_double,
    Question::ask_int,    Question::ask_word,   Question::choice_0_4, Question::ask_double, Question::read_int,
    Question::read_word,  Question::choice_neg, Question::read_double, Question::read_double, Question::ask_int,
};

bool has_blank(const std::string& word)
{
    for (const char c : word)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f') return true;
    return false;
}

// The value is unchanged unless the read succeeded.
template <typename T>
bool read_checked(console::Read (*reader)(T&), T& value, const T& before)
{
    value = before;
    const console::Read result = reader(value);
    if (result != console::Read::ok) FUZZ_CHECK(value == before);
    return result != console::Read::end_of_input;
}

// Asks one question; false once the input has ended.
bool ask(Question q)
{
    int i = 0;
    double d = 0;
    std::string w;
    const auto prompt = [] { console::print("? "); };
    switch (q) {
    case Question::read_int:
        return read_checked(console::read_int, i, 12345);
    case Question::read_double: {
        const bool more = read_checked(console::read_double, d, 0.5);
        FUZZ_CHECK(std::isfinite(d));
        return more;
    }
    case Question::read_word: {
        const bool more = read_checked(console::read_word, w, std::string("unchanged"));
        FUZZ_CHECK(!w.empty() && !has_blank(w));
        return more;
    }
    case Question::ask_int:
        (void)console::ask_int(prompt);
        return true;
    case Question::ask_double:
        FUZZ_CHECK(std::isfinite(console::ask_double(prompt)));
        return true;
    case Question::ask_word:
        w = console::ask_word(prompt);
        FUZZ_CHECK(!w.empty() && !has_blank(w));
        return true;
    case Question::choice_0_1:
        i = console::ask_choice(prompt, 0, 1);
        FUZZ_CHECK(i >= 0 && i <= 1);
        return true;
    case Question::choice_0_4:
        i = console::ask_choice(prompt, 0, 4);
        FUZZ_CHECK(i >= 0 && i <= 4);
        return true;
    case Question::choice_neg:
        i = console::ask_choice(prompt, -3, 250);
        FUZZ_CHECK(i >= -3 && i <= 250);
        return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ_CHECK(std::freopen("/dev/null", "w", stdout) != nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::FILE* in = stream_of(data, size);
    if (in == nullptr) return 0;
    console::set_input(in);
    // Every question consumes at least one byte of input or ends it, so the
    // loop ends; the bound only guards against a fault in that promise.
    size_t asked = 0;
    try {
        for (bool more = true; more; ++asked) {
            FUZZ_CHECK(asked <= 2 * size + 2);
            more = ask(kPattern[asked % std::size(kPattern)]);
        }
    } catch (const RunError&) {
        // The input ended in the middle of an ask_* question: expected.
    }
    console::wait_key();
    console::set_input(nullptr);
    std::fclose(in);
    return 0;
}
