#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property is a finding like a sanitizer report: say which one, then
// abort so that libFuzzer saves the input as crash-<sha1>.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
