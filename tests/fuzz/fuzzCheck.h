// A failed check names itself and aborts, so libFuzzer keeps the input that caused it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define ZU_FUZZ_CHECK(a_Condition)                                                                 \
    ((a_Condition)                                                                                 \
         ? void()                                                                                  \
         : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #a_Condition),   \
            std::abort()))
