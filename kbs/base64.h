// Base64 decoding of texts embedded in class files.
#ifndef KBS_BASE64_H
#define KBS_BASE64_H

#include "kbs/strings.h"

#include <cstddef>

namespace kbs {

// Zero-fills `destination`, then decodes `source` into it and returns the decoded length, which
// may exceed `size` (only `size` bytes are stored). A length that is not a multiple of four
// decodes nothing and returns 0; characters outside the alphabet decode as zero bits, and every
// character from the first '=' on shortens the result by one byte.
std::size_t decodeBase64(const StringBase<char>& source, unsigned char* destination,
                         std::size_t size);
// The same for the `count` characters at `source`.
std::size_t decodeBase64(const char* source, std::size_t count, unsigned char* destination,
                         std::size_t size);

} // namespace kbs

#endif
