// The small programs the parsing and filenames harnesses run: the input's lines, and operations
// that are a letter followed by modifiers up to the next operation letter.
#ifndef KELO_FUZZ_PROGRAM_H
#define KELO_FUZZ_PROGRAM_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// The input's first `count` lines; the last of them takes the rest of the input.
inline std::vector<std::string> inputLines(const std::uint8_t* data, std::size_t size,
                                           std::size_t count) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> lines(count);
    std::size_t from = 0;
    for (std::size_t i = 0; i < count && from <= input.size(); ++i) {
        const std::size_t end = i + 1 == count ? input.size() : input.find('\n', from);
        lines[i] = input.substr(from, std::min(end, input.size()) - from);
        from = std::min(end, input.size()) + 1;
    }
    return lines;
}

struct Operation {
    char code = 0;
    std::string modifiers;
};

// Reads the operation at `at` of `program`; false at its end.
inline bool nextOperation(const std::string& program, std::size_t& at, const char* letters,
                          Operation& operation) {
    const auto isLetter = [letters](char c) { return c != '\0' && std::strchr(letters, c); };
    while (at < program.size() && !isLetter(program[at]))
        ++at;
    if (at == program.size())
        return false;
    operation = {program[at++], {}};
    while (at < program.size() && !isLetter(program[at]))
        operation.modifiers += program[at++];
    return true;
}

// The first number written in the modifiers, at most 100000; 0 without one.
inline std::uint32_t modifierNumber(const std::string& modifiers) {
    std::uint32_t value = 0;
    for (std::size_t at = modifiers.find_first_of("0123456789");
         at < modifiers.size() && modifiers[at] >= '0' && modifiers[at] <= '9' && value < 100000;
         ++at)
        value = value * 10 + static_cast<std::uint32_t>(modifiers[at] - '0');
    return value;
}

#endif
