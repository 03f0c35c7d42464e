// Memory limits as Windows gives them.
#include "platform/memory_limits.h"

#include <windows.h>

namespace {

void keep_smaller(MemoryLimit& limit, uint64_t bytes, const char* what)
{
    if (bytes < limit.bytes) limit = MemoryLimit{bytes, what};
}

}  // namespace

MemoryLimit memory_available()
{
    MemoryLimit limit;
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) {
        keep_smaller(limit, status.ullTotalPhys, "the physical memory");
        keep_smaller(limit, status.ullAvailVirtual, "the address space left to the process");
    }
    // A job (a container, a service manager, a batch system) may limit the
    // memory of each of its processes or of all of them together.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
    if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job, nullptr)) {
        const DWORD flags = job.BasicLimitInformation.LimitFlags;
        if (flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY)
            keep_smaller(limit, job.ProcessMemoryLimit, "the memory limit of the process's job");
        if (flags & JOB_OBJECT_LIMIT_JOB_MEMORY)
            keep_smaller(limit, job.JobMemoryLimit, "the memory limit of the process's job");
    }
    return limit;
}
