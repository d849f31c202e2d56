#pragma once

#include <cstdio>
#include <cstdlib>

// A property that failed is a finding: say which and stop, so libFuzzer keeps the input.
#define QF_FUZZ_CHECK(condition)                                                                                       \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                 \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
