// Test data: class containers built from class files in every form the format allows, gzip members
// with chosen headers, and the classes of a real jar.
#ifndef KELO_TESTS_JNI_CONTAINER_BUILDER_H
#define KELO_TESTS_JNI_CONTAINER_BUILDER_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testdata {

using Bytes = std::vector<unsigned char>;

// 1F 8B 08 00, time 0, extra flags 0, system 0: the only header the pipeline accepts.
Bytes plainGzipHeader();

// One gzip member of `data`: the given 10-byte header (plus, when its flag byte asks for a file
// name, the name "Sample.class" and its NUL), raw deflate at the given level, CRC-32 and ISIZE.
Bytes gzipMember(const Bytes& data, const Bytes& header = plainGzipHeader(), int level = 9);

struct ContainerShape {
    bool compressed = false;
    bool crc = false;
    unsigned char classKind = 1; // 0 runs the Java version gate
    std::uint16_t formatVersion = 3;
    std::uint16_t headerLength = 75; // below 75 the record is cut there; above, zeros follow it
    unsigned char options = 0;       // OptionCrc is added when crc is set
    unsigned char minJava[4] = {0, 0, 0, 0};
    unsigned char maxJava[4] = {0, 0, 0, 0};
    Bytes gzipHeader = plainGzipHeader();
    Bytes carried; // after the payload, not interpreted
};

// A container for classFile (whose first four bytes, the magic, it does not store).
Bytes buildContainer(const Bytes& classFile, const ContainerShape& shape = {});

// Offsets of the header fields, for tests that set them by hand.
enum Offset : std::size_t {
    AtClassKind = 9,
    AtFormatVersion = 10,
    AtHeaderLength = 12,
    AtMinJava = 14,
    AtMaxJava = 18,
    AtCompressed = 41,
    AtClassSize = 47,
    AtPackedLength = 51,
    AtOptions = 59,
    AtClassCrc = 63,
};
void put16(Bytes& bytes, std::size_t at, std::uint32_t value);
void put32(Bytes& bytes, std::size_t at, std::uint32_t value);

// A small but real class file: the bytes of a class that javac could have written for
// "public class <name> {}" (no code), usable where any class file will do.
Bytes minimalClassFile(const std::string& internalName);

// The .class entries of a jar (a zip file, stored or deflated entries): name and bytes. Empty when
// the file cannot be read.
std::vector<std::pair<std::string, Bytes>> jarClasses(const std::string& path);

// Base64 of the bytes, standard alphabet, "=" filling the last group.
std::string base64(const std::string& bytes);
// Chunk `index` of a container embedded for class `name`: the text between its two tags.
std::string chunk(const std::string& name, std::uint32_t index, const std::string& text);
// A class file of `name` whose constant pool holds `texts` as strings, the way containers travel
// inside ordinary classes.
Bytes carrier(const std::string& name, const std::vector<std::string>& texts);

} // namespace testdata

#endif
