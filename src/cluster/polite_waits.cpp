#include "cluster/polite_waits.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Polls `done` with pauses that grow from 10 to 200 microseconds: messages
// that come in a stream wait little, a long wait costs little.
template <typename Done>
void poll_with_pauses(const Done& done)
{
    std::chrono::microseconds pause{10};
    while (!done()) {
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds{200});
    }
}

}  // namespace

void wait_politely(MPI_Request& request)
{
    poll_with_pauses([&] {
        int done = 0;
        MPI_Test(&request, &done, MPI_STATUS_IGNORE);
        return done != 0;
    });
}

void probe_politely(MPI_Comm comm, int source, int tag, MPI_Status& status)
{
    poll_with_pauses([&] {
        int found = 0;
        MPI_Iprobe(source, tag, comm, &found, &status);
        return found != 0;
    });
}
