// Fuzz target: the bytes as standard input of the console layer.
//
// Questions of every kind are asked in a fixed repeating order until the input
// ends (the end of input is an expected RunError of the ask_* functions, or
// Read::end_of_input of the read_* functions); then wait_key is called once.
// Prompts print to standard output, which is sent to /dev/null.
//
// The oracle splits the input into words itself: every read and every prompt
// takes exactly one whole word, and a number answer is accepted exactly when
// the whole word matches the number grammar (checked here with regular
// expressions, independently of the console's own scanner).
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "dialogue/console.h"
#include "fuzz_input.h"
#include "shared/run_error.h"

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

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The words of the input, and the next one the console must take.
std::vector<std::string> g_words;
size_t g_next = 0;

void split_words(const uint8_t* data, size_t size)
{
    g_words.clear();
    g_next = 0;
    std::string word;
    for (size_t k = 0; k <= size; ++k) {
        if (k < size && !is_blank(static_cast<char>(data[k]))) {
            word.push_back(static_cast<char>(data[k]));
        } else if (!word.empty()) {
            g_words.push_back(word);
            word.clear();
        }
    }
}

// What a word answers to an integer or a decimal question, if anything.
std::optional<int> integer_of(const std::string& word)
{
    static const std::regex grammar("[+-]?[0-9]+");
    if (!std::regex_match(word, grammar)) return std::nullopt;
    errno = 0;
    const long long v = std::strtoll(word.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return std::nullopt;
    return static_cast<int>(v);
}

std::optional<double> decimal_of(const std::string& word)
{
    static const std::regex grammar("[+-]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][+-]?[0-9]+)?");
    if (!std::regex_match(word, grammar)) return std::nullopt;
    const double v = std::strtod(word.c_str(), nullptr);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<std::string> word_of(const std::string& word) { return word; }

// One read: the next word, and the value and result the oracle expects.
template <typename T>
bool read_checked(console::Read (*reader)(T&), std::optional<T> (*oracle)(const std::string&), const T& before)
{
    T value = before;
    const console::Read result = reader(value);
    if (g_next == g_words.size()) {
        FUZZ_CHECK(result == console::Read::end_of_input && value == before);
        return false;
    }
    const std::optional<T> expected = oracle(g_words[g_next++]);
    FUZZ_CHECK(result == (expected ? console::Read::ok : console::Read::bad_token));
    FUZZ_CHECK(value == (expected ? *expected : before));
    return true;
}

// One question asked until answered: every prompt takes one word; all but
// the last are refused (not a number, or outside the choices).
template <typename T>
void ask_checked(T answer, int prompts, std::optional<T> (*oracle)(const std::string&),
                 bool (*acceptable)(const T&) = nullptr)
{
    FUZZ_CHECK(prompts >= 1 && g_next + static_cast<size_t>(prompts) <= g_words.size());
    for (int k = 0; k + 1 < prompts; ++k) {
        const std::optional<T> refused = oracle(g_words[g_next++]);
        FUZZ_CHECK(!refused || (acceptable != nullptr && !acceptable(*refused)));
    }
    const std::optional<T> expected = oracle(g_words[g_next++]);
    FUZZ_CHECK(expected && *expected == answer);
}

int g_prompts = 0;  // prompts of the question being asked

// Asks one question; false once the input has ended.
bool ask(Question q)
{
    g_prompts = 0;
    const auto prompt = [] {
        ++g_prompts;
        console::print("? ");
    };
    switch (q) {
    case Question::read_int:
        return read_checked(console::read_int, integer_of, 12345);
    case Question::read_double:
        return read_checked(console::read_double, decimal_of, 0.5);
    case Question::read_word:
        return read_checked(console::read_word, word_of, std::string("unchanged"));
    case Question::ask_int:
        ask_checked(console::ask_int(prompt), g_prompts, integer_of);
        return true;
    case Question::ask_double:
        ask_checked(console::ask_double(prompt), g_prompts, decimal_of);
        return true;
    case Question::ask_word:
        ask_checked(console::ask_word(prompt), g_prompts, word_of);
        return true;
    case Question::choice_0_1:
        ask_checked(console::ask_choice(prompt, 0, 1), g_prompts, integer_of, +[](const int& i) { return i >= 0 && i <= 1; });
        return true;
    case Question::choice_0_4:
        ask_checked(console::ask_choice(prompt, 0, 4), g_prompts, integer_of, +[](const int& i) { return i >= 0 && i <= 4; });
        return true;
    case Question::choice_neg:
        ask_checked(console::ask_choice(prompt, -3, 250), g_prompts, integer_of,
                    +[](const int& i) { return i >= -3 && i <= 250; });
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
    split_words(data, size);
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
        // The input ended in the middle of an ask_* question: expected, once
        // every word has been refused (the last prompt found none).
        FUZZ_CHECK(g_prompts >= 1 && g_next + static_cast<size_t>(g_prompts) - 1 == g_words.size());
    }
    console::wait_key();
    console::set_input(nullptr);
    std::fclose(in);
    return 0;
}
