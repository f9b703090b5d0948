#include "container_builder.h"

#include "jni/classload/hooks.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testdata {

namespace {

std::uint32_t get16(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes.at(at)} | std::uint32_t{bytes.at(at + 1)} << 8;
}

std::uint32_t get32(const Bytes& bytes, std::size_t at) {
    return get16(bytes, at) | get16(bytes, at + 2) << 16;
}

std::uint32_t crc(const unsigned char* data, std::size_t length) {
    return static_cast<std::uint32_t>(crc32(0L, data, static_cast<uInt>(length)));
}

// Raw deflate (method 8 without a wrapper), or raw inflate into `expected` bytes.
Bytes deflateRaw(const unsigned char* data, std::size_t length, int level) {
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&stream, static_cast<uLong>(length)));
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

Bytes inflateRaw(const unsigned char* data, std::size_t length, std::size_t expected) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        throw std::runtime_error("inflateInit2");
    Bytes out(expected);
    stream.next_in = const_cast<unsigned char*>(data);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    if (result != Z_STREAM_END || stream.total_out != expected)
        throw std::runtime_error("inflate");
    return out;
}

void append32(Bytes& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

void appendUtf8(Bytes& bytes, const std::string& text) {
    bytes.push_back(1);
    bytes.push_back(static_cast<unsigned char>(text.size() >> 8));
    bytes.push_back(static_cast<unsigned char>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
}

} // namespace

Bytes plainGzipHeader() {
    return {0x1F, 0x8B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
}

Bytes gzipMember(const Bytes& data, const Bytes& header, int level) {
    Bytes member(header);
    if (header.size() > 3 && (header[3] & 0x08)) {
        const std::string name = "Sample.class";
        member.insert(member.end(), name.begin(), name.end());
        member.push_back(0);
    }
    const Bytes deflated = deflateRaw(data.data(), data.size(), level);
    member.insert(member.end(), deflated.begin(), deflated.end());
    append32(member, crc(data.data(), data.size()));
    append32(member, static_cast<std::uint32_t>(data.size()));
    return member;
}

void put16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    bytes.at(at) = static_cast<unsigned char>(value);
    bytes.at(at + 1) = static_cast<unsigned char>(value >> 8);
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}

Bytes buildContainer(const Bytes& classFile, const ContainerShape& shape) {
    if (classFile.size() < 4)
        throw std::invalid_argument("a class file has at least its magic");
    const Bytes body(classFile.begin() + 4, classFile.end());
    const Bytes packed = shape.compressed ? gzipMember(body, shape.gzipHeader) : body;

    Bytes header(75, 0);
    std::copy_n("KELOCLSF", 8, header.begin());
    header[AtClassKind] = shape.classKind;
    put16(header, AtFormatVersion, shape.formatVersion);
    put16(header, AtHeaderLength, shape.headerLength);
    std::copy_n(shape.minJava, 4, header.begin() + AtMinJava);
    std::copy_n(shape.maxJava, 4, header.begin() + AtMaxJava);
    header[AtCompressed] = shape.compressed ? 1 : 0;
    put32(header, AtClassSize, static_cast<std::uint32_t>(classFile.size()));
    put32(header, AtPackedLength, shape.compressed ? static_cast<std::uint32_t>(packed.size()) : 0);
    header[AtOptions] = static_cast<unsigned char>(shape.options | (shape.crc ? 0x10 : 0));
    put32(header, AtClassCrc, crc(body.data(), body.size()));
    header.resize(shape.headerLength, 0);

    Bytes container(header);
    container.insert(container.end(), packed.begin(), packed.end());
    container.insert(container.end(), shape.carried.begin(), shape.carried.end());
    return container;
}

Bytes minimalClassFile(const std::string& internalName) {
    Bytes bytes = {0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x00, 0x00, 52, 0x00, 5};
    appendUtf8(bytes, internalName);       // #1
    bytes.insert(bytes.end(), {7, 0, 1});  // #2 Class #1
    appendUtf8(bytes, "java/lang/Object"); // #3
    bytes.insert(bytes.end(), {7, 0, 3});  // #4 Class #3
    bytes.insert(bytes.end(), {0x00, 0x21, 0, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0});
    return bytes;
}

std::vector<std::pair<std::string, Bytes>> jarClasses(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const Bytes zip((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::pair<std::string, Bytes>> classes;
    if (zip.size() < 22)
        return classes;
    // The end of central directory record: the last one, with at most 64 KiB of comment after it.
    std::size_t end = zip.size() - 22;
    const std::size_t lowest = zip.size() > 22 + 0xFFFF ? zip.size() - 22 - 0xFFFF : 0;
    while (get32(zip, end) != 0x06054B50) {
        if (end == lowest)
            return classes;
        --end;
    }
    const std::uint32_t entries = get16(zip, end + 10);
    std::size_t at = get32(zip, end + 16);
    for (std::uint32_t i = 0; i < entries; ++i) {
        if (get32(zip, at) != 0x02014B50)
            throw std::runtime_error("central directory");
        const std::uint32_t method = get16(zip, at + 10);
        const std::uint32_t packedSize = get32(zip, at + 20);
        const std::uint32_t size = get32(zip, at + 24);
        const std::uint32_t nameLength = get16(zip, at + 28);
        const std::uint32_t extraLength = get16(zip, at + 30);
        const std::uint32_t commentLength = get16(zip, at + 32);
        const std::uint32_t local = get32(zip, at + 42);
        const std::string name(zip.begin() + at + 46, zip.begin() + at + 46 + nameLength);
        at += 46 + nameLength + extraLength + commentLength;
        if (name.size() < 6 || name.compare(name.size() - 6, 6, ".class") != 0)
            continue;
        if (get32(zip, local) != 0x04034B50)
            throw std::runtime_error("local header");
        const std::size_t data = local + 30 + get16(zip, local + 26) + get16(zip, local + 28);
        if (data + packedSize > zip.size())
            throw std::runtime_error("entry beyond the file");
        if (method == 0)
            classes.emplace_back(name, Bytes(zip.begin() + data, zip.begin() + data + size));
        else if (method == 8)
            classes.emplace_back(name, inflateRaw(zip.data() + data, packedSize, size));
        else
            throw std::runtime_error("compression method " + std::to_string(method));
    }
    return classes;
}

std::string base64(const std::string& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        unsigned group = 0;
        for (std::size_t i = 0; i < 3; ++i)
            group = group << 8 |
                    (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u);
        const std::size_t present = std::min<std::size_t>(3, bytes.size() - at);
        for (std::size_t i = 0; i < 4; ++i)
            text += i <= present ? alphabet[group >> (18 - 6 * i) & 63] : '=';
    }
    return text;
}

std::string chunk(const std::string& name, std::uint32_t index, const std::string& text) {
    return kelo::embeddedTag(name.c_str(), index, true) + text +
           kelo::embeddedTag(name.c_str(), index, false);
}

Bytes carrier(const std::string& name, const std::vector<std::string>& texts) {
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

} // namespace testdata
