// Conversion of ANSI text to UTF-8 bytes through the system's code-page functions.
#ifndef KBS_UTF8_H
#define KBS_UTF8_H

#include "kbs/singleton.h"
#include "kbs/strings.h"

#include <atomic>
#include <cstddef>
#include <vector>

namespace kbs {

// Names the target encoding of a conversion.
struct Utf8 {};

template <class Source, class Encoding> class Utf8Conversion;

template <> class Utf8Conversion<StringBase<char>, Utf8> final : public Singleton {
public:
    // The process's converter, created on first use (again after shutdown).
    static Utf8Conversion& instance();
    ~Utf8Conversion() override;

    // Fills `destination` with the UTF-8 form of `source` followed by one NUL byte and returns
    // the number of UTF-8 bytes; 0 for empty text or when the system cannot convert it.
    std::size_t toUtf8(const StringBase<char>& source,
                       std::vector<unsigned char>& destination) const;

private:
    Utf8Conversion() = default;
    static std::atomic<Utf8Conversion*> current;
};

} // namespace kbs

#endif
