// A cursor over a NUL-terminated 8-bit text that reads blanks, separator characters and unsigned
// 32-bit numbers, and reports malformed input as catalogue exceptions naming the offending piece.
// The object neither owns nor copies the text; it only looks at bytes up to the terminating NUL.
#ifndef KBS_PARSING_H
#define KBS_PARSING_H

#include "kbs/strings.h"

#include <cstdint>

namespace kbs {

// Options of the reading operations.
enum ParseOption : unsigned {
    ParseSkipBlanks = 0x00000001,      // skip blanks before an item, and after it when it was read
    ParseNoOverflowError = 0x00000004, // beyond 32 bits: decimal saturates, hex and octal wrap
    ParseAllowOctal = 0x00000008,      // parseNumber: a leading 0 starts an octal number
    ParseHexDefault = 0x00000800,      // parseNumber: hexadecimal even without "0x"
    ParseIgnoreCase = 0x00800000,      // matchChar: ASCII letters match either case
};

// Where markEnd() puts the end of the marked piece (bits 20 and 21 of a mode word).
enum MarkMode : unsigned {
    MarkToEnd = 0x000000,        // the end of the text
    MarkWord = 0x100000,         // the first blank or NUL from the start of the piece
    MarkToCursor = 0x200000,     // the cursor
    MarkWordToCursor = 0x300000, // the first blank or NUL, but no further than the cursor
};

class Parsing {
public:
    // A null text reads as empty text.
    explicit Parsing(const char* text);
    virtual ~Parsing() = default;
    Parsing(const Parsing&) = default;
    Parsing& operator=(const Parsing&) = default;

    // Space and tab; line feed and carriage return too while the file functions use the ANSI code
    // page.
    bool isBlank() const;
    void skipBlanks();
    void markEnd(unsigned mode);
    // Consumes one character of `set` and answers its 1-based position there, or 0.
    int matchChar(const char* set, unsigned options);
    // The marked piece; a non-zero mode, or an end before the start, sets the end first.
    StringBase<char> markedText(unsigned mode);
    // Throws the catalogue message `id` with the marked piece as %1 and `extra` as %2.
    [[noreturn]] void raiseError(unsigned id, const char* extra);
    // A decimal number; a non-zero `max` is the largest value accepted.
    std::uint32_t parseDecimal(unsigned options, std::uint32_t max);
    // A decimal, "0x" hexadecimal or, by option, octal or prefix-less hexadecimal number.
    std::uint32_t parseNumber(unsigned options, std::uint32_t max);

    const char* position() const { return cursor; }

private:
    std::uint32_t parseDigits(unsigned options, unsigned base, bool digitSeen);
    // Checks a number read against `max` and skips the blanks after it when asked to.
    std::uint32_t acceptNumber(std::uint32_t value, unsigned options, std::uint32_t max);

    const char* begin;
    const char* end;
    const char* cursor;
};

} // namespace kbs

#endif
