#include "run/failure.h"

#include <cstdio>
#include <new>

#include "shared/run_error.h"

void report_failure(const char* lead, const std::string& message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%sError: %s\n", lead, message.c_str());
    std::fflush(stderr);
}

int report_failures(const char* lead, const std::function<int()>& body)
{
    try {
        return body();
    } catch (const RunError& failure) {
        report_failure(lead, failure.what());
    } catch (const std::bad_alloc&) {
        report_failure(lead, "not enough memory");
    }
    return 1;
}
