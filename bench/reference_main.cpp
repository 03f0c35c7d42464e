// The program with the pass-by-pass reference extraction engine, to time the
// whole program against it.
#include "isolines_trace_4.h"

int main() { return isolines_trace_4(true); }
