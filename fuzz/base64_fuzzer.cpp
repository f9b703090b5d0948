// Base64 decoding of embedded container chunks. Input: a byte giving the destination's size
// relative to what the text decodes to, then bytes that are both decoded as text and, encoded
// here, decoded back.
#include "check.h"
#include "container_builder.h"

#include "kbs/base64.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Decodes into an exact-size block, so that a write past `size` is seen; checks the zero fill
// beyond what was stored.
std::size_t decode(const kbs::StringBase<char>& text, std::size_t size,
                   std::unique_ptr<unsigned char[]>& block) {
    block = std::make_unique<unsigned char[]>(size);
    std::memset(block.get(), 0xA5, size);
    const std::size_t length = kbs::decodeBase64(text, block.get(), size);
    for (std::size_t at = std::min(length, size); at < size; ++at)
        FUZZ_CHECK(block[at] == 0);
    return length;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t mode = data[0];
    const unsigned char* bytes = data + 1;
    const std::size_t length = size - 1;

    // Arbitrary text: a length that is not a multiple of four decodes nothing; otherwise three
    // bytes per four characters, less one per character from the first '=' on.
    const kbs::StringBase<char> text(reinterpret_cast<const char*>(bytes), length);
    const std::size_t full = length / 4 * 3;
    const std::size_t room =
        mode & 1 ? full + (mode >> 1) : full - std::min<std::size_t>(full, mode >> 1);
    std::unique_ptr<unsigned char[]> block;
    const std::size_t decoded = decode(text, room, block);
    if (length % 4 != 0) {
        FUZZ_CHECK(decoded == 0);
    } else {
        const std::size_t padding = text.find('=');
        const std::size_t cut = padding == std::string::npos ? 0 : length - padding;
        FUZZ_CHECK(decoded == full - std::min(full, cut));
    }

    // The round trip: what is encoded decodes to itself, into exactly its size.
    const std::string encoded = testdata::base64(std::string(bytes, bytes + length));
    FUZZ_CHECK(decode(encoded, length, block) == length);
    FUZZ_CHECK(length == 0 || std::memcmp(block.get(), bytes, length) == 0);
    return 0;
}
