// One libFuzzer harness for every input surface: the input's first byte picks the target (its
// value modulo four, in the order below), and the target gets the rest.
#ifndef KELO_FUZZ_FUZZER_H
#define KELO_FUZZ_FUZZER_H

#include <cstdint>
#include <cstdlib>

void fuzzContainer(const std::uint8_t* data, std::size_t size);
void fuzzHook(const std::uint8_t* data, std::size_t size);
void fuzzCarrier(const std::uint8_t* data, std::size_t size);
void fuzzText(const std::uint8_t* data, std::size_t size);

// A violated property ends the process: libFuzzer prints the stack and keeps the input.
inline void check(bool property) {
    if (!property)
        std::abort();
}

#endif
