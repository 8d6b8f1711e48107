#pragma once

// What the core fuzz targets use to report a broken promise: a message naming
// the condition, then abort(), which libFuzzer records as a crash with the input
// that caused it.
#include <cstdio>
#include <cstdlib>

#define FUZZ_REQUIRE(cond)                                                                  \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)
