#include "kbs/parsing.h"

#include "kbs/exceptions.h"
#include "kbs/sysinfo.h"

#include <algorithm>
#include <cstring>

namespace kbs {

namespace {

constexpr unsigned NumberExpected = 2021;
constexpr unsigned DecimalExpected = 2020;
constexpr unsigned OutOfRange = 2005;
constexpr unsigned MarkBits = 0x300000;

bool isBlankChar(char c) {
    if (c == ' ' || c == '\t')
        return true;
    // Line ends only count as blanks for ANSI file functions; the query is made at each read.
    return (c == '\n' || c == '\r') && SystemInfo().fileApisAnsi();
}

bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of `c` as a digit of `base` (8, 10 or 16), or -1.
int digitValue(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const char* wordEnd(const char* from) {
    while (*from != '\0' && !isBlankChar(*from))
        ++from;
    return from;
}

} // namespace

Parsing::Parsing(const char* text) : begin(text ? text : ""), end(begin), cursor(begin) {}

bool Parsing::isBlank() const {
    return isBlankChar(*cursor);
}

void Parsing::skipBlanks() {
    while (isBlankChar(*cursor))
        ++cursor;
}

void Parsing::markEnd(unsigned mode) {
    switch (mode & MarkBits) {
    case MarkToEnd:
        end = begin + std::strlen(begin);
        break;
    case MarkWord:
        end = wordEnd(begin);
        break;
    case MarkToCursor:
        end = cursor;
        break;
    default:
        end = std::min(wordEnd(begin), cursor);
        break;
    }
}

int Parsing::matchChar(const char* set, unsigned options) {
    const bool skip = (options & ParseSkipBlanks) != 0;
    if (skip)
        skipBlanks();
    if (*cursor == '\0' || !set)
        return 0;
    const bool ignoreCase = (options & ParseIgnoreCase) != 0;
    const char wanted = ignoreCase ? lowerAscii(*cursor) : *cursor;
    for (const char* candidate = set; *candidate != '\0'; ++candidate) {
        if ((ignoreCase ? lowerAscii(*candidate) : *candidate) != wanted)
            continue;
        ++cursor;
        if (skip)
            skipBlanks();
        return static_cast<int>(candidate - set) + 1;
    }
    return 0;
}

StringBase<char> Parsing::markedText(unsigned mode) {
    if (mode != 0 || end < begin)
        markEnd(mode != 0 ? mode : MarkWord);
    return StringBase<char>(begin, static_cast<std::size_t>(end - begin));
}

void Parsing::raiseError(unsigned id, const char* extra) {
    throw Exception(static_cast<std::int32_t>(id), markedText(0), StringBase<char>(extra),
                    emptyString(), emptyString());
}

std::uint32_t Parsing::parseDecimal(unsigned options, std::uint32_t max) {
    if (options & ParseSkipBlanks)
        skipBlanks();
    begin = cursor;
    if (!isDecimalDigit(*cursor)) {
        markEnd(MarkWord);
        raiseError(DecimalExpected, nullptr);
    }
    std::uint32_t value = 0;
    bool overflow = false;
    for (; isDecimalDigit(*cursor); ++cursor) {
        const auto digit = static_cast<std::uint32_t>(*cursor - '0');
        if (value > 429496729u || (value == 429496729u && digit > 5))
            overflow = true;
        value = value * 10 + digit;
    }
    if (overflow) {
        if (!(options & ParseNoOverflowError)) {
            markEnd(MarkToCursor);
            raiseError(OutOfRange, nullptr);
        }
        value = 0xFFFFFFFFu;
    }
    return acceptNumber(value, options, max);
}

std::uint32_t Parsing::parseNumber(unsigned options, std::uint32_t max) {
    try {
        if (options & ParseSkipBlanks)
            skipBlanks();
        begin = cursor;
        const unsigned decimalOptions = options & (ParseSkipBlanks | ParseNoOverflowError);
        const bool hexDefault = (options & ParseHexDefault) != 0;
        if (*cursor != '0' && !hexDefault)
            return parseDecimal(decimalOptions, max);

        const bool leadingZero = *cursor == '0';
        if (leadingZero)
            ++cursor;
        std::uint32_t value;
        if (leadingZero && (*cursor == 'x' || *cursor == 'X')) {
            ++cursor;
            value = parseDigits(options, 16, false);
        } else if (hexDefault) {
            value = parseDigits(options, 16, leadingZero);
        } else if (options & ParseAllowOctal) {
            value = parseDigits(options, 8, true);
        } else {
            // "0" and "017" are decimal numbers here.
            --cursor;
            return parseDecimal(decimalOptions, max);
        }
        return acceptNumber(value, options, max);
    } catch (Exception& error) {
        // A number read names no particular base in its complaint.
        if (error.errorId() == static_cast<std::int32_t>(DecimalExpected))
            error.setErrorId(NumberExpected);
        throw;
    }
}

std::uint32_t Parsing::acceptNumber(std::uint32_t value, unsigned options, std::uint32_t max) {
    if (max != 0 && value > max) {
        markEnd(MarkToCursor);
        raiseError(OutOfRange, nullptr);
    }
    if (options & ParseSkipBlanks)
        skipBlanks();
    return value;
}

std::uint32_t Parsing::parseDigits(unsigned options, unsigned base, bool digitSeen) {
    // Beyond these, one more digit no longer fits 32 bits.
    const std::uint32_t limit = base == 16 ? 0x0FFFFFFFu : 0x1FFFFFFFu;
    std::uint32_t value = 0;
    for (int digit; (digit = digitValue(*cursor, base)) >= 0; ++cursor) {
        if (value > limit && !(options & ParseNoOverflowError)) {
            markEnd(MarkToCursor);
            raiseError(OutOfRange, nullptr);
        }
        value = value * base + static_cast<std::uint32_t>(digit);
        digitSeen = true;
    }
    if (!digitSeen) {
        markEnd(MarkWord);
        raiseError(NumberExpected, nullptr);
    }
    return value;
}

} // namespace kbs
