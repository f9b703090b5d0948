// Properties the harnesses assert: a violation is reported and ends the process, which libFuzzer
// records as a crash with its reproducer.
#ifndef KELO_FUZZ_CHECK_H
#define KELO_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__,             \
                         #condition);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

#endif
