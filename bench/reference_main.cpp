// The program with the pass-by-pass reference extraction engine, to time the
// whole program against it.
#include "dialogue/isolines_trace_4.h"
#include "reference/reference_extraction.h"

int main() { return isolines_trace_4(extract_with_reference); }
