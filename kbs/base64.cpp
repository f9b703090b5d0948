#include "kbs/base64.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kbs {

namespace {

// The value of each character of the standard alphabet; every other character counts as 0.
constexpr std::array<unsigned char, 256> base64Values() {
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::array<unsigned char, 256> values{};
    for (unsigned char value = 0; value < 64; ++value)
        values[static_cast<unsigned char>(alphabet[value])] = value;
    return values;
}

constexpr std::array<unsigned char, 256> Base64Values = base64Values();

unsigned base64Value(char c) {
    return Base64Values[static_cast<unsigned char>(c)];
}

} // namespace

std::size_t decodeBase64(const char* source, std::size_t count, unsigned char* destination,
                         std::size_t size) {
    if (size > 0)
        std::memset(destination, 0, size);
    if (count % 4 != 0)
        return 0;
    std::size_t length = count / 4 * 3;
    if (const void* padding = std::memchr(source, '=', count))
        length -= std::min(
            length, count - static_cast<std::size_t>(static_cast<const char*>(padding) - source));
    // Straight into the destination: decoded bytes are never held anywhere else.
    const std::size_t stored = std::min(length, size);
    for (std::size_t in = 0, out = 0; out < stored; in += 4, out += 3) {
        const unsigned a = base64Value(source[in]);
        const unsigned b = base64Value(source[in + 1]);
        const unsigned c = base64Value(source[in + 2]);
        const unsigned d = base64Value(source[in + 3]);
        const unsigned char group[3] = {
            static_cast<unsigned char>((a << 2) | ((b >> 4) & 3)),
            static_cast<unsigned char>(((b & 15) << 4) | ((c >> 2) & 15)),
            static_cast<unsigned char>((c << 6) | (d & 63))};
        std::copy_n(group, std::min<std::size_t>(3, stored - out), destination + out);
    }
    return length;
}

std::size_t decodeBase64(const StringBase<char>& source, unsigned char* destination,
                         std::size_t size) {
    return decodeBase64(source.data(), source.size(), destination, size);
}

} // namespace kbs
