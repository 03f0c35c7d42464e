// The console layer of every dialogue.
//
// Text goes to standard output through printf-style formatting. Answers are
// read from standard input as whitespace-separated tokens, so several answers
// may stand on one line. A number answer is one whole token: an integer is
// [+-]digits; a decimal is [+-]digits[.digits][e[+-]digits], the point may
// also lead or end the digits (".5", "5."). Any other token where a number is
// asked ("9O", "2,5", "1.5" for an integer, "nan", "0x10") is discarded whole
// and the question is asked again; the end of standard input ends the run
// (RunError) since no answer can follow.
#ifndef DIALOGUE_CONSOLE_H
#define DIALOGUE_CONSOLE_H

#include <cstdio>
#include <functional>
#include <string>

namespace console {

// printf to standard output.
void print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Flushes standard output; when any text could not be written to it (a full
// disk, a closed pipe) throws RunError with the system's reason.
void check_output();

enum class Read { ok, bad_token, end_of_input };

// One answer each: an integer, a decimal, a word. On bad_token the offending
// token has been discarded and `value` is unchanged.
Read read_int(int& value);
Read read_double(double& value);
Read read_word(std::string& value);

// Prints the question (by calling `ask`) and reads one answer, asking again
// after every token that cannot be converted. End of input throws RunError.
int ask_int(const std::function<void()>& ask);
double ask_double(const std::function<void()>& ask);
std::string ask_word(const std::function<void()>& ask);

// A menu: prints it, reads a choice, and prints it again until the choice lies
// in [lowest, highest].
int ask_choice(const std::function<void()>& show_menu, int lowest, int highest);

// Waits for one key press. On a terminal: no echo, no Enter needed, the whole
// key sequence of a cursor or function key is swallowed, and the previous
// terminal mode is restored. Otherwise reads one byte; returns at once at the
// end of input.
void wait_key();

// Reads from `in` instead of standard input (tests); null restores stdin.
void set_input(std::FILE* in);

}  // namespace console

#endif
