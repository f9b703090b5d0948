// The steps below processClass (the class pipeline's entry, a member of the per-call context in
// jni/context.h): gzip inflation into an exact length, the plain gzip header, CRC-32, and the test
// that a container's payload can yield the class size its header names. Every reader here looks
// only at the bytes [src, src + srcLength) it is given.
#ifndef KELO_JNI_CLASSLOAD_PIPELINE_H
#define KELO_JNI_CLASSLOAD_PIPELINE_H

#include "jni/classload/container.h"

#include <cstdint>

namespace kelo {

// The smallest class size processClass accepts, the magic included.
constexpr std::uint32_t MinimumClassSize = 32;

// Room that storage for a class has beyond its size. zlib decodes at full speed only while 258
// bytes of output room remain, so a class inflated into exactly its size would end on zlib's
// byte-by-byte path; only a member that fails its trailer check writes into this room.
constexpr std::uint32_t InflateRoom = 258;

// Whether a payload of payloadLength bytes can satisfy the header's sizes: stored, it holds
// classSize - 4 bytes; compressed, packedLength bytes lie within it and are enough for a gzip
// member that inflates to classSize - 4 bytes (deflate expands at most 1032:1). False also for a
// classSize below 4. Callers test it before allocating classSize bytes for a container.
bool containerSizesFit(const ContainerHeader& header, std::uint32_t payloadLength);

// True exactly when srcLength is at least 10 and src starts 1F 8B 08 00 00 00 00 00 00 00: no
// flags, no time, no extra flags, system 0.
bool isPlainGzipHeader(const unsigned char* src, std::uint32_t srcLength);

// Inflates one plain-header gzip member of srcLength bytes straight into exactly destLength bytes
// at dest, which has room for InflateRoom bytes more. False for any other header, a stream that
// fails, or another length; dest is untouched when the trailer names another length, and may be
// partly written, its room included, when the stream fails.
bool gunzipExact(unsigned char* dest, std::uint32_t destLength, const unsigned char* src,
                 std::uint32_t srcLength);

} // namespace kelo

#endif
