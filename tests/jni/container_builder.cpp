#include "container_builder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace testdata {

namespace {

void append32(Bytes& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

std::uint32_t crc(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(0L, data.data(), static_cast<uInt>(data.size())));
}

} // namespace

Bytes gzipMember(const Bytes& data, const Bytes& header) {
    Bytes member(header);
    if (header[3] & 0x08) {
        const char name[] = "Sample.class";
        member.insert(member.end(), name, name + sizeof name);
    }
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    Bytes deflated(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<unsigned char*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = deflated.data();
    stream.avail_out = static_cast<uInt>(deflated.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    member.insert(member.end(), deflated.begin(), deflated.begin() + stream.total_out);
    deflateEnd(&stream);
    append32(member, crc(data));
    append32(member, static_cast<std::uint32_t>(data.size()));
    return member;
}

std::uint32_t get32(const Bytes& bytes, std::size_t at) {
    return bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
           std::uint32_t{bytes.at(at + 3)} << 24;
}

void put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    bytes.at(at) = static_cast<unsigned char>(value);
    bytes.at(at + 1) = static_cast<unsigned char>(value >> 8);
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}

Bytes container(const Bytes& classFile, const Shape& shape) {
    const Bytes body(classFile.begin() + 4, classFile.end());
    const Bytes packed = shape.compressed ? gzipMember(body, shape.gzipHeader) : body;
    Bytes bytes(std::max<std::size_t>(shape.headerLength, 75), 0);
    std::copy_n("KELOCLSF", 8, bytes.begin());
    bytes[AtClassKind] = shape.classKind;
    put16(bytes, AtFormatVersion, shape.formatVersion);
    put16(bytes, AtHeaderLength, shape.headerLength);
    bytes[41] = shape.compressed;
    put32(bytes, AtClassSize, static_cast<std::uint32_t>(classFile.size()));
    put32(bytes, AtPackedLength, shape.compressed ? static_cast<std::uint32_t>(packed.size()) : 0);
    bytes[AtOptions] = static_cast<unsigned char>(shape.options | (shape.crc ? 0x10 : 0));
    put32(bytes, AtClassCrc, crc(body));
    bytes.resize(shape.headerLength);
    bytes.insert(bytes.end(), packed.begin(), packed.end());
    return bytes;
}

Bytes classFile(const std::string& name, const std::vector<std::string>& texts) {
    Bytes bytes = {0xCA, 0xFE, 0xBA, 0xBE, 0, 0, 0, 52};
    const std::size_t count = 5 + texts.size();
    bytes.insert(bytes.end(), {static_cast<unsigned char>(count >> 8),
                               static_cast<unsigned char>(count & 0xFF)});
    const auto utf8 = [&bytes](const std::string& text) {
        bytes.insert(bytes.end(), {1, static_cast<unsigned char>(text.size() >> 8),
                                   static_cast<unsigned char>(text.size() & 0xFF)});
        bytes.insert(bytes.end(), text.begin(), text.end());
    };
    utf8(name);
    bytes.insert(bytes.end(), {7, 0, 1});
    utf8("java/lang/Object");
    bytes.insert(bytes.end(), {7, 0, 3});
    for (const std::string& text : texts)
        utf8(text);
    bytes.insert(bytes.end(), {0x00, 0x21, 0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0});
    return bytes;
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
