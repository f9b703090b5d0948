// Text the library parses: numbers, characters and marks through the parsing cursor, operations on
// file names, and %1..%9 formatting. Inputs are lines; a program line is a list of operations.
#include "fuzzer.h"

#include "kbs/exceptions.h"
#include "kbs/filenames.h"
#include "kbs/parsing.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using kbs::FileString;
using Text = kbs::StringBase<char>;
constexpr std::size_t npos = std::string::npos;

// The input's lines, at least `count` (the last takes the rest), each up to its first NUL: the
// library reads C strings.
std::vector<std::string> lines(const std::uint8_t* data, std::size_t size, std::size_t count) {
    std::vector<std::string> lines(1);
    for (const std::uint8_t* at = data; at < data + size; ++at) {
        if (*at == '\n' && lines.size() < count)
            lines.emplace_back();
        else
            lines.back() += static_cast<char>(*at);
    }
    for (std::string& line : lines)
        line.resize(std::strlen(line.c_str()));
    lines.resize(std::max(count, lines.size()));
    return lines;
}

bool startsWith(const Text& text, const Text& start) {
    return text.compare(0, start.size(), start) == 0;
}

// The value of the characters read, by the rules of parseNumber (`number`: "0x" or the option
// for hexadecimal, a leading 0 with the option for octal) or parseDecimal.
std::uint64_t expectedValue(const std::string& piece, unsigned options, bool number) {
    const std::size_t at = std::min(piece.size(), piece.find_first_not_of(" \t\r\n"));
    const bool zero = piece.size() > at + 1 && piece[at] == '0';
    const bool hex = (options & kbs::ParseHexDefault) || (zero && (piece[at + 1] | 0x20) == 'x');
    const bool octal = (options & kbs::ParseAllowOctal) && zero;
    return std::strtoull(piece.c_str(), nullptr, !number ? 10 : hex ? 16 : octal ? 8 : 10);
}

const unsigned parseOptions[] = {kbs::ParseSkipBlanks, kbs::ParseNoOverflowError,
                                 kbs::ParseAllowOctal, kbs::ParseHexDefault, kbs::ParseIgnoreCase};
const std::uint32_t limits[] = {0, 1, 9, 255, 4095, 65535, 99999999, 0xFFFFFFFF};

// An operation is two bytes. The first: its low three bits pick parseNumber, parseDecimal,
// matchChar, markEnd, markedText, skipBlanks, isBlank or raiseError; the others, the options. The
// second: the largest number accepted, or the mark mode, or the error id.
void parse(kbs::Parsing& parsing, unsigned code, unsigned parameter, const std::string& set,
           const std::string& text) {
    unsigned options = 0;
    for (unsigned bit = 0; bit < 5; ++bit)
        options |= code >> (bit + 3) & 1 ? parseOptions[bit] : 0;
    const std::uint32_t max = limits[parameter & 7];
    const char* before = parsing.position();
    if ((code & 7) < 2) {
        const std::uint32_t value =
            code & 1 ? parsing.parseDecimal(options, max) : parsing.parseNumber(options, max);
        check(max == 0 || value <= max);
        check((options & kbs::ParseNoOverflowError) ||
              value ==
                  expectedValue(std::string(before, parsing.position()), options, !(code & 1)));
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
    } else if ((code & 7) == 6) {
        // Line ends count as blanks only while the file functions use the ANSI code page.
        check(*before == '\n' || *before == '\r' ||
              parsing.isBlank() == (*before == ' ' || *before == '\t'));
    } else {
        parsing.raiseError(max, set.c_str());
    }
    check(parsing.position() >= text.c_str() && parsing.position() <= text.c_str() + text.size());
}

// An operation is one byte: its value modulo 8 picks removeExtension, setExtension, setFileName,
// makeFull, setToCurrentDirectory or the queries; its bits 3 and 4, a null argument and a replaced
// extension, or the display flags; the rest, the display length limit.
void operate(FileString& name, unsigned code, const Text& argument) {
    const FileString old = name;
    const std::size_t directory = old.find_last_of("\\/") + 1; // 0 without a separator
    FileString stripped = old;
    stripped.removeExtension();
    check(startsWith(old, stripped) && stripped.size() >= directory);
    check(stripped == old || old[stripped.size()] == '.');
    if (code % 8 == 0) {
        name.removeExtension();
    } else if (code % 8 == 1) {
        name.setExtension(code & 8 ? nullptr : &argument);
        check((code & 8) ? name == stripped + "."
                         : name == stripped + (startsWith(argument, ".") ? "" : ".") + argument);
    } else if (code % 8 == 2) {
        name.setFileName(code & 8 ? nullptr : &argument, code & 16);
        check(startsWith(name, old.substr(0, directory)));
    } else if (code % 8 == 3) {
        name.makeFull();
    } else if (code % 8 == 4) {
        name.setToCurrentDirectory();
    } else {
        const FileString whole = name.baseName(true);
        check(whole.find_first_of("\\/") == npos && name.size() >= whole.size() &&
              name.compare(name.size() - whole.size(), npos, whole) == 0);
        check(startsWith(whole, name.baseName(false)) && startsWith(name, name.drive()));
        name.displayText(code >> 5 << 3, code >> 3 & 3);
        name.shortened(code >> 5 << 3);
        name.isFile();
    }
}

} // namespace

// The program, the characters that matchChar matches (and raiseError's text), the text.
void fuzzParsing(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> input = lines(data, size, 3);
    kbs::Parsing parsing(input[2].c_str());
    for (std::size_t at = 0; at + 1 < input[0].size(); at += 2) {
        const auto code = static_cast<std::uint8_t>(input[0][at]);
        try {
            parse(parsing, code, static_cast<std::uint8_t>(input[0][at + 1]), input[1], input[2]);
        } catch (const kbs::Exception& error) {
            const std::int32_t id = error.errorId();
            check((code & 7) == 7 || id == 2005 || id == 2020 || id == 2021);
            check(error.parameter1().size() <= input[2].size());
            check((code & 7) == 7 || std::strlen(error.what()) > 0);
        }
    }
}

// The program, the file name, and the argument of the operations that take a text.
void fuzzFileNames(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> input = lines(data, size, 3);
    FileString name(input[1]);
    for (const char code : input[0])
        operate(name, static_cast<std::uint8_t>(code), input[2]);
}

// The format, then up to nine arguments; arguments without a line are null. Arguments may hold the
// placeholders substituted after them: with many, the text grows exponentially and the input only
// measures the allocator.
void fuzzFormat(const std::uint8_t* data, std::size_t size) {
    if (std::count(data, data + size, '%') > 12)
        return;
    const std::vector<std::string> input = lines(data, size, 10);
    const char* arguments[9] = {};
    for (std::size_t i = 1; i <= std::min<std::size_t>(std::count(data, data + size, '\n'), 9); ++i)
        arguments[i - 1] = input[i].c_str();
    kbs::StringOld text("previous");
    text.format(input[0].c_str(), arguments[0], arguments[1], arguments[2], arguments[3],
                arguments[4], arguments[5], arguments[6], arguments[7], arguments[8]);
    // No "%1" (and so no '%' at all): nothing is substituted.
    check(input[0].find("%1") != npos || text == input[0]);
    text.format(nullptr, arguments[0]);
    check(text.empty());
}
