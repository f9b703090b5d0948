// The parsing cursor driven by a small program. Input: the program on the first line, the text to
// parse after it (up to its first NUL, as the cursor reads it). Program: operations, each a
// letter followed by its modifiers:
//   n parseNumber  d parseDecimal  c matchChar  m markEnd  t markedText  s skipBlanks
//   b isBlank      e raiseError
//   _ ParseSkipBlanks  ! ParseNoOverflowError  o ParseAllowOctal  x ParseHexDefault
//   i ParseIgnoreCase  0-3 mark mode  #N the largest number accepted  :SET the characters matched
//   (up to the next space)  ? an option bit that no operation knows
#include "check.h"
#include "program.h"

#include "kbs/exceptions.h"
#include "kbs/parsing.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The modifiers of one operation.
struct Modifiers {
    unsigned options = 0;
    unsigned markMode = 0;
    std::uint32_t max = 0;
    std::string set;
};

Modifiers decode(const std::string& text) {
    static const std::pair<char, unsigned> flags[] = {
        {'_', kbs::ParseSkipBlanks}, {'!', kbs::ParseNoOverflowError}, {'o', kbs::ParseAllowOctal},
        {'x', kbs::ParseHexDefault}, {'i', kbs::ParseIgnoreCase},      {'?', 0x40000000u}};
    Modifiers m;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        for (const auto& [letter, flag] : flags)
            m.options |= c == letter ? flag : 0;
        if (c == '#') {
            while (at + 1 < text.size() && text[at + 1] >= '0' && text[at + 1] <= '9')
                m.max = m.max * 10 + static_cast<std::uint32_t>(text[++at] - '0');
        } else if (c == ':') {
            m.set = text.substr(at + 1, text.find(' ', at + 1) - at - 1);
            at += m.set.size();
        } else if (c >= '0' && c <= '3') {
            m.markMode = static_cast<unsigned>(c - '0') << 20;
        }
    }
    return m;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The number that the characters read stand for, by the reading rules of parseNumber (`number`)
// or parseDecimal; only called when the value fitted 32 bits.
std::uint64_t expectedValue(std::string piece, unsigned options, bool number) {
    while (!piece.empty() && isBlank(piece.back()))
        piece.pop_back();
    piece.erase(0, piece.find_first_not_of(" \t\r\n"));
    int base = 10;
    if (number && piece.size() >= 2 && piece[0] == '0' && (piece[1] == 'x' || piece[1] == 'X')) {
        piece.erase(0, 2);
        base = 16;
    } else if (number && (options & kbs::ParseHexDefault)) {
        base = 16;
    } else if (number && (options & kbs::ParseAllowOctal) && piece.size() > 1 && piece[0] == '0') {
        base = 8;
    }
    return std::strtoull(piece.c_str(), nullptr, base);
}

void run(kbs::Parsing& parsing, char code, const Modifiers& operation, const char* text) {
    const std::size_t length = std::strlen(text);
    const char* before = parsing.position();
    switch (code) {
    case 'n':
    case 'd': {
        const bool number = code == 'n';
        const std::uint32_t value = number ? parsing.parseNumber(operation.options, operation.max)
                                           : parsing.parseDecimal(operation.options, operation.max);
        FUZZ_CHECK(operation.max == 0 || value <= operation.max);
        if (!(operation.options & kbs::ParseNoOverflowError))
            FUZZ_CHECK(value == expectedValue(std::string(before, parsing.position()),
                                              operation.options, number));
        break;
    }
    case 'c': {
        const int matched = parsing.matchChar(operation.set.c_str(), operation.options);
        FUZZ_CHECK(matched >= 0 && static_cast<std::size_t>(matched) <= operation.set.size());
        FUZZ_CHECK(matched == 0 || parsing.position() > before);
        break;
    }
    case 'm':
        parsing.markEnd(operation.markMode);
        break;
    case 't':
        FUZZ_CHECK(parsing.markedText(operation.markMode).size() <= length);
        break;
    case 's':
        parsing.skipBlanks();
        break;
    case 'b':
        // Line ends count as blanks only while the file functions use the ANSI code page.
        if (*before != '\n' && *before != '\r')
            FUZZ_CHECK(parsing.isBlank() == (*before == ' ' || *before == '\t'));
        break;
    default:
        parsing.raiseError(operation.max, operation.set.c_str());
    }
    FUZZ_CHECK(parsing.position() >= text && parsing.position() <= text + length);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines = inputLines(data, size, 2);
    kbs::Parsing parsing(lines[1].c_str());
    Operation operation;
    for (std::size_t at = 0; nextOperation(lines[0], at, "ndcmtsbe", operation);) {
        try {
            run(parsing, operation.code, decode(operation.modifiers), lines[1].c_str());
        } catch (const kbs::Exception& error) {
            const std::int32_t id = error.errorId();
            FUZZ_CHECK(operation.code == 'e' || id == 2005 || id == 2020 || id == 2021);
            FUZZ_CHECK(error.parameter1().size() <= lines[1].size());
            if (operation.code != 'e')
                FUZZ_CHECK(std::strlen(error.what()) > 0);
        }
    }
    return 0;
}
