// Checks inside fuzz targets: a failed one names itself and stops the run, so libFuzzer keeps
// the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#define ZU_FUZZ_CHECK(a_Condition)                                                                 \
    do {                                                                                           \
        if (!(a_Condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #a_Condition);   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
