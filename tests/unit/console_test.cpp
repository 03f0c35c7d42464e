#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dialogue/console.h"
#include "shared/run_error.h"

namespace {

// Feeds the console from a string, as if typed on standard input.
class ConsoleTest : public ::testing::Test {
protected:
    void feed(const std::string& text)
    {
        if (in_ != nullptr) std::fclose(in_);
        in_ = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), in_);
        std::rewind(in_);
        console::set_input(in_);
    }
    void TearDown() override
    {
        console::set_input(nullptr);
        if (in_ != nullptr) std::fclose(in_);
    }
    std::FILE* in_ = nullptr;
};

TEST_F(ConsoleTest, SeveralAnswersOnOneLine)
{
    feed("dem 1\t25.5\n  x\n");
    std::string word;
    int number = 0;
    double real = 0;
    EXPECT_EQ(console::read_word(word), console::Read::ok);
    EXPECT_EQ(word, "dem");
    EXPECT_EQ(console::read_int(number), console::Read::ok);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(console::read_double(real), console::Read::ok);
    EXPECT_EQ(real, 25.5);
    EXPECT_EQ(console::read_word(word), console::Read::ok);
    EXPECT_EQ(word, "x");
    EXPECT_EQ(console::read_word(word), console::Read::end_of_input);
}

TEST_F(ConsoleTest, ANumberIsAWholeTokenNeverSplit)
{
    struct Case {
        const char* token;
        bool integer_ok;
        bool decimal_ok;
        double value;  // when accepted
    };
    const Case cases[] = {
        {"7", true, true, 7},          {"+7", true, true, 7},         {"-0", true, true, 0},
        {"2.5", false, true, 2.5},     {".5", false, true, 0.5},      {"5.", false, true, 5},
        {"-1e3", false, true, -1000},  {"2E+2", false, true, 200},    {"+.25e-1", false, true, 0.025},
        {"1e-400", false, true, 0},    {"9O", false, false, 0},       {"2,5", false, false, 0},
        {"12abc", false, false, 0},    {"1.5.", false, false, 0},     {".", false, false, 0},
        {"+", false, false, 0},        {"-.e1", false, false, 0},     {"1e", false, false, 0},
        {"1e+", false, false, 0},      {"--1", false, false, 0},      {"1-", false, false, 0},
        {"0x10", false, false, 0},     {"nan", false, false, 0},      {"inf", false, false, 0},
        {"1e400", false, false, 0},    {"99999999999", false, true, 99999999999.0},
    };
    for (const Case& c : cases) {
        // Each token is followed by a word that must stay the next answer.
        feed(std::string(c.token) + " next " + c.token + " next");
        int number = 42;
        double real = 0.75;
        std::string word;
        EXPECT_EQ(console::read_int(number) == console::Read::ok, c.integer_ok) << c.token;
        if (c.integer_ok) EXPECT_EQ(number, c.value) << c.token;
        else EXPECT_EQ(number, 42) << c.token;
        EXPECT_EQ(console::read_word(word), console::Read::ok);
        EXPECT_EQ(word, "next") << c.token;
        EXPECT_EQ(console::read_double(real) == console::Read::ok, c.decimal_ok) << c.token;
        EXPECT_EQ(real, c.decimal_ok ? c.value : 0.75) << c.token;
        EXPECT_EQ(console::read_word(word), console::Read::ok);
        EXPECT_EQ(word, "next") << c.token;
    }
    // A NUL byte inside a token makes it no number either.
    feed(std::string("12\0 3", 5));
    int number = 0;
    EXPECT_EQ(console::read_int(number), console::Read::bad_token);
    EXPECT_EQ(console::read_int(number), console::Read::ok);
    EXPECT_EQ(number, 3);
}

TEST_F(ConsoleTest, BadTokenIsDiscardedAndValueKept)
{
    feed("abc -7 x2.5 nan inf 99999999999 3\n");
    int number = 42;
    EXPECT_EQ(console::read_int(number), console::Read::bad_token);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(console::read_int(number), console::Read::ok);
    EXPECT_EQ(number, -7);
    double real = 1.25;
    EXPECT_EQ(console::read_double(real), console::Read::bad_token);  // x2.5
    EXPECT_EQ(console::read_double(real), console::Read::bad_token);  // nan
    EXPECT_EQ(console::read_double(real), console::Read::bad_token);  // inf
    EXPECT_EQ(real, 1.25);
    EXPECT_EQ(console::read_int(number), console::Read::bad_token);  // does not fit 32 bits
    EXPECT_EQ(console::read_int(number), console::Read::ok);
    EXPECT_EQ(number, 3);
}

TEST_F(ConsoleTest, AskRepeatsTheQuestionAfterABadToken)
{
    feed("one two 3");
    int prompts = 0;
    EXPECT_EQ(console::ask_int([&] { ++prompts; }), 3);
    EXPECT_EQ(prompts, 3);
}

TEST_F(ConsoleTest, ChoiceOutsideTheMenuShowsItAgain)
{
    feed("2 -1 x 1");
    int shown = 0;
    EXPECT_EQ(console::ask_choice([&] { ++shown; }, 0, 1), 1);
    EXPECT_EQ(shown, 4);
}

TEST_F(ConsoleTest, EndOfInputEndsTheDialogue)
{
    feed("  \n\t ");
    EXPECT_THROW(console::ask_int([] {}), RunError);
    feed("abc");
    EXPECT_THROW(console::ask_double([] {}), RunError);
    feed("");
    EXPECT_THROW(console::ask_word([] {}), RunError);
}

TEST_F(ConsoleTest, KeyWaitReadsOneByteAndReturnsAtEndOfInput)
{
    feed("1\nq");
    int number = 0;
    ASSERT_EQ(console::read_int(number), console::Read::ok);
    console::wait_key();  // the line feed after the answer
    console::wait_key();  // q
    console::wait_key();  // nothing left: returns at once
    std::string word;
    EXPECT_EQ(console::read_word(word), console::Read::end_of_input);
}

}  // namespace
