// Text the library parses (java.version, for one), through the parsing cursor: numbers, characters
// and marks. Inputs are lines; a program line is a list of operations.
#include "fuzzer.h"

#include "kbs/exceptions.h"
#include "kbs/parsing.h"

#include <algorithm>
#include <sstream>

namespace {

// The value of the characters read, by the rules of parseNumber (code 0: "0x" or the option for
// hexadecimal, a leading 0 with the option for octal) or parseDecimal (1).
std::uint64_t expectedValue(const std::string& piece, unsigned options, unsigned code) {
    const std::size_t at = std::min(piece.size(), piece.find_first_not_of(" \t\r\n"));
    const bool zero = piece.size() > at + 1 && piece[at] == '0';
    const bool hex = (options & kbs::ParseHexDefault) || (zero && (piece[at + 1] | 0x20) == 'x');
    const bool octal = (options & kbs::ParseAllowOctal) && zero;
    return std::strtoull(piece.c_str(), nullptr, code & 1 ? 10 : hex ? 16 : octal ? 8 : 10);
}

const std::uint32_t limits[] = {0, 1, 9, 255, 4095, 65535, 99999999, 0xFFFFFFFF};

// The first byte's low three bits pick parseNumber, parseDecimal, matchChar, markEnd, markedText,
// skipBlanks or raiseError (6, 7); its others, the options. The second byte's low three bits pick
// the largest number accepted (an entry of `limits`, also raiseError's id) or the mark mode.
void parse(kbs::Parsing& parsing, unsigned code, unsigned parameter, const std::string& set,
           const std::string& text) {
    const unsigned options =
        (code & 0x08 ? kbs::ParseSkipBlanks : 0) | (code & 0x10 ? kbs::ParseNoOverflowError : 0) |
        (code & 0x20 ? kbs::ParseAllowOctal : 0) | (code & 0x40 ? kbs::ParseHexDefault : 0) |
        (code & 0x80 ? kbs::ParseIgnoreCase : 0);
    const std::uint32_t max = limits[parameter & 7];
    const char* before = parsing.position();
    if ((code & 7) < 2) {
        const std::uint32_t value =
            code & 1 ? parsing.parseDecimal(options, max) : parsing.parseNumber(options, max);
        check(max == 0 || value <= max);
        if (!(options & kbs::ParseNoOverflowError))
            check(value == expectedValue(std::string(before, parsing.position()), options, code));
    } else if ((code & 7) == 2) {
        const int matched = parsing.matchChar(set.c_str(), options);
        check(matched >= 0 && static_cast<std::size_t>(matched) <= set.size());
        check(matched == 0 || parsing.position() > before);
    } else if ((code & 7) == 3) {
        parsing.markEnd((parameter & 3) << 20);
    } else if ((code & 7) == 4) {
        check(parsing.markedText((parameter & 3) << 20).size() <= text.size());
    } else if ((code & 7) == 5) {
        parsing.skipBlanks();
    } else {
        parsing.raiseError(max, set.c_str());
    }
    check(parsing.position() >= text.c_str() && parsing.position() <= text.c_str() + text.size());
}

} // namespace

// Lines: the program, the argument (matchChar's characters or raiseError's text), then the text up
// to a NUL, which the cursor reads. Two bytes per operation.
void fuzzText(const std::uint8_t* data, std::size_t size) {
    std::istringstream input(std::string(data, data + size));
    std::string program, argument, text;
    std::getline(std::getline(std::getline(input, program), argument), text, '\0');
    kbs::Parsing parsing(text.c_str());
    // At most 64 operations: a longer program adds little but time, mostly in exceptions.
    for (std::size_t at = 0; at + 1 < std::min<std::size_t>(program.size(), 128); at += 2) {
        const auto code = static_cast<std::uint8_t>(program[at]);
        const auto parameter = static_cast<std::uint8_t>(program[at + 1]);
        try {
            parse(parsing, code, parameter, argument, text);
        } catch (const kbs::Exception& error) {
            const std::int32_t id = error.errorId();
            const bool composed = *error.what(); // the message, formatted with its parameters
            check((code & 7) >= 6 || ((id == 2005 || id == 2020 || id == 2021) && composed));
            check(error.parameter1().size() <= text.size());
        }
    }
}
