#pragma once
// Processor time of this process. The machines are shared: wall time would
// count the other processes (and the disk's flush) too.

#include <ctime>

namespace bench {

inline double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

}  // namespace bench
