#include "kbs/base64.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kbs {

namespace {

unsigned base64Value(char c) {
    static const StringBase<char> alphabet(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    const std::size_t at = alphabet.find(c);
    return at == StringBase<char>::npos ? 0u : static_cast<unsigned>(at);
}

} // namespace

std::size_t decodeBase64(const StringBase<char>& source, unsigned char* destination,
                         std::size_t size) {
    if (size > 0)
        std::memset(destination, 0, size);
    if (source.size() % 4 != 0)
        return 0;
    std::size_t length = source.size() / 4 * 3;
    std::vector<unsigned char> decoded(length);
    for (std::size_t in = 0, out = 0; in < source.size(); in += 4, out += 3) {
        const unsigned a = base64Value(source[in]);
        const unsigned b = base64Value(source[in + 1]);
        const unsigned c = base64Value(source[in + 2]);
        const unsigned d = base64Value(source[in + 3]);
        decoded[out] = static_cast<unsigned char>((a << 2) | ((b >> 4) & 3));
        decoded[out + 1] = static_cast<unsigned char>(((b & 15) << 4) | ((c >> 2) & 15));
        decoded[out + 2] = static_cast<unsigned char>((c << 6) | (d & 63));
    }
    const std::size_t padding = source.find('=');
    if (padding != StringBase<char>::npos)
        length -= std::min(length, source.size() - padding);
    std::copy_n(decoded.begin(), std::min(length, size), destination);
    return length;
}

} // namespace kbs
