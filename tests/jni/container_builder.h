// Test data: class files, carriers and containers in every form the format allows. Tags and Base64
// are written here, not by the library's own functions.
#ifndef KELO_TESTS_JNI_CONTAINER_BUILDER_H
#define KELO_TESTS_JNI_CONTAINER_BUILDER_H

#include <cstdint>
#include <string>
#include <vector>

namespace testdata {

using Bytes = std::vector<unsigned char>;

struct Shape {
    bool compressed = false; // as one gzip member with the plain header
    bool crc = false;
    std::uint16_t headerLength = 75; // below 75 the record is cut there; above, zeros follow it
    std::uint16_t formatVersion = 3;
    unsigned char classKind = 1; // 0 runs the Java version gate
    unsigned char options = 0;   // 0x10 (CRC) is added when crc is set
};

// A container for classFile (whose magic it does not store).
Bytes container(const Bytes& classFile, const Shape& shape = {});

enum Offset : std::size_t {
    AtHeaderLength = 12,
    AtMinJava = 14,
    AtClassSize = 47,
    AtPackedLength = 51,
    AtClassCrc = 63,
    AtPayload = 75,
};
std::uint32_t get32(const Bytes& bytes, std::size_t at);
void put32(Bytes& bytes, std::size_t at, std::uint32_t value);

// Class bytes for `name` that hold `texts`, the way carriers hold chunks; only the magic is real.
Bytes classFile(const std::string& name, const std::vector<std::string>& texts = {});
std::string base64(const std::string& bytes);
// Chunk `index` of the container embedded for class `name`, between its two tags.
std::string chunk(const std::string& name, unsigned index, const std::string& text);

} // namespace testdata

#endif
