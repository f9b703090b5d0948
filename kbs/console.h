// An output stream buffer for console text: what is written goes to a line callback or to standard
// output, and also to a tee file when one is attached. There is no put area, so every character
// reaches xsputn.
#ifndef KBS_CONSOLE_H
#define KBS_CONSOLE_H

#include "kbs/files.h"
#include "kbs/strings.h"

#include <cstdint>
#include <memory>
#include <streambuf>

namespace kbs {

class ConsoleStreamBuf : public std::basic_streambuf<char> {
public:
    using LineCallback = void (*)(const char* text);

    ConsoleStreamBuf() = default;
    // Flushes and closes the tee file; text still collected for the callback is dropped.
    ~ConsoleStreamBuf() override;
    ConsoleStreamBuf(const ConsoleStreamBuf&) = delete;
    ConsoleStreamBuf& operator=(const ConsoleStreamBuf&) = delete;

    // Receives collected text instead of the console; null: the console. A block ending in LF is
    // collected after a CR and hands the text over, as does text of more than 200 bytes.
    void setLineCallback(LineCallback callback) { lineCallback = callback; }
    void setConsoleOutput(bool on) { consoleOutput = on; }
    // Null detaches the file.
    void setTeeFile(std::unique_ptr<File> file) { tee = std::move(file); }

    // Bytes written to tee files of all instances since one of them was last flushed.
    static std::int32_t teeColumn();

protected:
    int_type overflow(int_type c) override;
    // Tee file failures pass to the writer, after the block went to the console or callback.
    std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
    LineCallback lineCallback = nullptr;
    std::unique_ptr<File> tee;
    StringBase<char> line;
    bool consoleOutput = true;
};

} // namespace kbs

#endif
