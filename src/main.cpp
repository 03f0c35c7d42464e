#include "isolines_trace_4.h"

int main() { return isolines_trace_4(); }
