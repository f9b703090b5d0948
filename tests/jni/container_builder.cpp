#include "container_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace testdata {

namespace {

std::uint32_t crc(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
}

// A gzip member with the plain header the pipeline asks for (no time, extra flags or system)
// around zlib's deflate stream.
Bytes gzip(const Bytes& data) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    Bytes stream(length);
    compress2(stream.data(), &length, data.data(), static_cast<uLong>(data.size()), 9);
    Bytes member{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 0};
    member.insert(member.end(), stream.begin() + 2, stream.begin() + length - 4);
    member.resize(member.size() + 8);
    put32(member, member.size() - 8, crc(data));
    put32(member, member.size() - 4, static_cast<std::uint32_t>(data.size()));
    return member;
}

} // namespace

std::uint32_t get32(const Bytes& bytes, std::size_t at) {
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
           std::uint32_t{bytes.at(at + 3)} << 24;
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<unsigned char>(value >> 8 * i);
}

Bytes container(const Bytes& classFile, const Shape& shape) {
    const Bytes body(classFile.begin() + 4, classFile.end());
    const Bytes packed = shape.compressed ? gzip(body) : body;
    Bytes bytes(std::max<std::size_t>(shape.headerLength, AtPayload), 0);
    std::copy_n("KELOCLSF", 8, bytes.begin());
    bytes[9] = shape.classKind;
    put32(bytes, 10, shape.formatVersion | std::uint32_t{shape.headerLength} << 16);
    bytes[41] = shape.compressed;
    put32(bytes, AtClassSize, static_cast<std::uint32_t>(classFile.size()));
    put32(bytes, AtPackedLength, shape.compressed ? static_cast<std::uint32_t>(packed.size()) : 0);
    bytes[59] = static_cast<unsigned char>(shape.options | (shape.crc ? 0x10 : 0));
    put32(bytes, AtClassCrc, crc(body));
    bytes.resize(shape.headerLength);
    bytes.insert(bytes.end(), packed.begin(), packed.end());
    return bytes;
}

Bytes classFile(const std::string& name, const std::vector<std::string>& texts) {
    // The magic and version 52; the body starts with a zero, as a real one's minor version does.
    std::string text =
        std::string("\xCA\xFE\xBA\xBE\0\0\0\x34", 8) + "then the rest of class " + name;
    for (const std::string& part : texts)
        text += part;
    return Bytes(text.begin(), text.end());
}

std::string base64(const std::string& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t present = std::min<std::size_t>(3, bytes.size() - at);
        unsigned group = 0;
        for (std::size_t i = 0; i < 3; ++i)
            group = group << 8 | (i < present ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        for (std::size_t i = 0; i < 4; ++i)
            text += i <= present ? alphabet[group >> (18 - 6 * i) & 63] : '=';
    }
    return text;
}

std::string chunk(const std::string& name, unsigned index, const std::string& text) {
    char number[16];
    std::snprintf(number, sizeof number, "#%05u>", index);
    return "<KeloClassData#" + name + number + text + "</KeloClassData#" + name + number;
}

} // namespace testdata
