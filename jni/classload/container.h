// The header record of a class container: 75 bytes, multi-byte values little-endian. It is built
// from byte arrays only, so it has no padding and reads the same on every host.
#ifndef KELO_JNI_CLASSLOAD_CONTAINER_H
#define KELO_JNI_CLASSLOAD_CONTAINER_H

#include <cstddef>
#include <cstdint>

namespace kelo {

constexpr std::uint16_t CurrentHeaderLength = 75;
constexpr std::uint16_t CurrentFormatVersion = 3;

// Bits of ContainerHeader::options; the others are carried.
constexpr unsigned char OptionSuspendThreads = 0x02; // processing switches threadSuspension on
constexpr unsigned char OptionCrc = 0x10;            // classCrc must match the decoded bytes

// An unsigned little-endian integer of N bytes, stored as bytes.
template <std::size_t N> struct LittleEndian {
    static_assert(N <= 4, "at most 32 bits");
    unsigned char bytes[N];

    std::uint32_t value() const {
        std::uint32_t result = 0;
        for (std::size_t i = N; i-- > 0;)
            result = result << 8 | bytes[i];
        return result;
    }
    void set(std::uint32_t value) {
        for (unsigned char& byte : bytes) {
            byte = static_cast<unsigned char>(value & 0xFF);
            value >>= 8;
        }
    }
};

struct ContainerHeader {
    char signature[8]; // "KELOCLSF", no terminator
    unsigned char carried8;
    unsigned char classKind; // 0: the Java version gate applies
    LittleEndian<2> formatVersion;
    LittleEndian<2> headerLength; // offset of the payload
    // Major, minor, carried, micro. A maximum with major, minor and micro 0 means none.
    unsigned char minJavaVersion[4];
    unsigned char maxJavaVersion[4];
    unsigned char carried22[19];
    unsigned char compressed; // non-zero: the payload starts with packedLength bytes of gzip
    unsigned char carried42[5];
    LittleEndian<4> classSize; // the class bytes delivered, magic included
    LittleEndian<4> packedLength;
    unsigned char carried55[4];
    unsigned char options;
    unsigned char carried60[3];
    LittleEndian<4> classCrc; // CRC-32 of the classSize - 4 bytes after the magic
    unsigned char carried67[8];
};

static_assert(sizeof(ContainerHeader) == CurrentHeaderLength, "the record is the whole header");
static_assert(offsetof(ContainerHeader, compressed) == 41 &&
                  offsetof(ContainerHeader, classSize) == 47 &&
                  offsetof(ContainerHeader, options) == 59 &&
                  offsetof(ContainerHeader, classCrc) == 63,
              "field offsets of the container format");

} // namespace kelo

#endif
