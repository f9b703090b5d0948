// The Java version gate's arithmetic: versions packed into 32 bits for comparison. The gate itself
// (checkJavaVersion, getSystemProperty) is a member of the per-call context in jni/context.h.
#ifndef KELO_JNI_CLASSLOAD_VERSIONGATE_H
#define KELO_JNI_CLASSLOAD_VERSIONGATE_H

#include <cstdint>

namespace kelo {

// (major << 24) | (minor << 16) | (micro << 8) of the low 16 bits of each, combined in 32 bits: a
// component above 255 spills into the field above it.
constexpr std::uint32_t packJavaVersion(std::uint32_t major, std::uint32_t minor,
                                        std::uint32_t micro) {
    return (major & 0xFFFFu) << 24 | (minor & 0xFFFFu) << 16 | (micro & 0xFFFFu) << 8;
}

// A header's minimum (offsets 14, 15, 17) or maximum (18, 19, 21): major, minor, carried, micro.
constexpr std::uint32_t packJavaVersion(const unsigned char (&bytes)[4]) {
    return packJavaVersion(bytes[0], bytes[1], bytes[3]);
}

} // namespace kelo

#endif
