#include "kbs/console.h"

#include <atomic>
#include <cstdio>

namespace kbs {

namespace {

// The callback gets the line buffer once it holds more than this.
constexpr StringBase<char>::size_type lineLimit = 200;
// Tee files are flushed at least every this many bytes.
constexpr std::int32_t teeFlushColumn = 80;

std::atomic<std::int32_t> column{0};

} // namespace

ConsoleStreamBuf::~ConsoleStreamBuf() {
    if (tee)
        tee->flush();
}

std::int32_t ConsoleStreamBuf::teeColumn() {
    return column.load(std::memory_order_relaxed);
}

ConsoleStreamBuf::int_type ConsoleStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return c;
    const char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
}

std::streamsize ConsoleStreamBuf::xsputn(const char* text, std::streamsize count) {
    const char last = count > 0 ? text[count - 1] : 0;
    const bool endsLine = last == '\n';
    if (lineCallback) {
        // The CR goes before the block: a writer that sends a line's text and its LF apart, as
        // a stream does for std::endl, gives CR LF.
        if (endsLine)
            line += '\r';
        line.append(text, static_cast<StringBase<char>::size_type>(count));
        if (line.size() > lineLimit || endsLine) {
            lineCallback(line.c_str());
            line.clear();
        }
    } else if (consoleOutput) {
        if (count >= 2) {
            // Like the text it prints, the count stops at a NUL.
            char format[32];
            std::snprintf(format, sizeof format, "%%.%ds", static_cast<int>(count));
            std::printf(format, text);
        } else if (count == 1) {
            std::putchar(text[0]);
        }
        std::fflush(stdout);
    }
    if (tee) {
        tee->write(text, static_cast<std::uint32_t>(count));
        const std::int32_t reached =
            column.fetch_add(static_cast<std::int32_t>(count), std::memory_order_relaxed) +
            static_cast<std::int32_t>(count);
        if (reached >= teeFlushColumn || last == '\n' || last == '\r') {
            column.store(0, std::memory_order_relaxed);
            tee->flush();
        }
    }
    return count;
}

} // namespace kbs
