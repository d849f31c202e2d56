#pragma once

// Milliseconds since this process was started, as the kernel recorded it, so start-up can be measured
// from the very beginning rather than from main(). Linux only; -1 where it cannot be read.

#include <cstdio>
#include <ctime>

#include <unistd.h>

namespace quillfern {

inline double millisecondsSinceProcessStart()
{
    std::FILE *stat = std::fopen("/proc/self/stat", "r");
    if (!stat)
        return -1;
    char buffer[1024] = {};
    const size_t size = std::fread(buffer, 1, sizeof buffer - 1, stat);
    std::fclose(stat);
    // Field 22 (start time, in clock ticks since boot) follows the command name, which may hold spaces.
    const char *cursor = nullptr;
    for (size_t i = size; i > 0; --i) {
        if (buffer[i - 1] == ')') {
            cursor = buffer + i;
            break;
        }
    }
    if (!cursor)
        return -1;
    unsigned long long started = 0;
    int field = 2;
    for (const char *p = cursor; *p && field < 22; ++p) {
        if (*p == ' ') {
            ++field;
            if (field == 22 && std::sscanf(p + 1, "%llu", &started) != 1)
                return -1;
        }
    }
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6 - double(started) * 1000.0 / ticks;
}

} // namespace quillfern
