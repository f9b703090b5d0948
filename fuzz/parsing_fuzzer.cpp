// The parsing cursor driven by a small program. Input: the program on the first line, the text to
// parse after it (up to its first NUL, as the cursor reads it). Program: operations, each a
// letter followed by its modifiers:
//   n parseNumber  d parseDecimal  c matchChar  m markEnd  t markedText  s skipBlanks
//   b isBlank      e raiseError
//   _ ParseSkipBlanks  ! ParseNoOverflowError  o ParseAllowOctal  x ParseHexDefault
//   i ParseIgnoreCase  0-3 mark mode  #N the largest number accepted  :SET the characters matched
//   (up to the next space)  ? an option bit that no operation knows
#include "check.h"

#include "kbs/exceptions.h"
#include "kbs/parsing.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Operation {
    char code = 0;
    unsigned options = 0;
    unsigned markMode = 0;
    std::uint32_t max = 0;
    std::string set;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isOperation(char c) {
    return c != '\0' && std::strchr("ndcmtsbe", c);
}

// Reads one operation from the program at `at`; false at its end.
bool nextOperation(const std::string& program, std::size_t& at, Operation& operation) {
    while (at < program.size() && !isOperation(program[at]))
        ++at;
    if (at == program.size())
        return false;
    operation = Operation{};
    operation.code = program[at++];
    for (; at < program.size() && !isOperation(program[at]); ++at) {
        switch (const char c = program[at]) {
        case '_':
            operation.options |= kbs::ParseSkipBlanks;
            break;
        case '!':
            operation.options |= kbs::ParseNoOverflowError;
            break;
        case 'o':
            operation.options |= kbs::ParseAllowOctal;
            break;
        case 'x':
            operation.options |= kbs::ParseHexDefault;
            break;
        case 'i':
            operation.options |= kbs::ParseIgnoreCase;
            break;
        case '?':
            operation.options |= 0x40000000u;
            break;
        case '#':
            for (operation.max = 0; at + 1 < program.size() && isDigit(program[at + 1]); ++at)
                operation.max =
                    operation.max * 10 + static_cast<std::uint32_t>(program[at + 1] - '0');
            break;
        case ':':
            while (at + 1 < program.size() && program[at + 1] != ' ')
                operation.set += program[++at];
            break;
        default:
            if (c >= '0' && c <= '3')
                operation.markMode = static_cast<unsigned>(c - '0') << 20;
            break;
        }
    }
    return true;
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

void run(kbs::Parsing& parsing, const Operation& operation, const char* text) {
    const std::size_t length = std::strlen(text);
    const char* before = parsing.position();
    switch (operation.code) {
    case 'n':
    case 'd': {
        const bool number = operation.code == 'n';
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
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string program = input.substr(0, lineEnd);
    const std::string text =
        lineEnd == std::string::npos ? std::string() : input.substr(lineEnd + 1);
    kbs::Parsing parsing(text.c_str());
    Operation operation;
    for (std::size_t at = 0; nextOperation(program, at, operation);) {
        try {
            run(parsing, operation, text.c_str());
        } catch (const kbs::Exception& error) {
            const std::int32_t id = error.errorId();
            FUZZ_CHECK(operation.code == 'e' || id == 2005 || id == 2020 || id == 2021);
            FUZZ_CHECK(error.parameter1().size() <= text.size());
            if (operation.code != 'e')
                FUZZ_CHECK(std::strlen(error.what()) > 0);
        }
    }
    return 0;
}
