// The class pipeline: a container's payload, inflated or copied, behind the class-file magic.
#include "jni/classload/pipeline.h"

#include "jni/context.h"
#include "jni/state.h"
#include "kbs/exceptions.h"

#include <zlib.h>

#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

namespace kelo {

namespace {

constexpr unsigned char PlainGzipHeader[] = {0x1F, 0x8B, 0x08, 0x00, 0x00,
                                             0x00, 0x00, 0x00, 0x00, 0x00};
constexpr std::uint32_t GzipHeaderLength = sizeof PlainGzipHeader;
constexpr std::uint32_t GzipTrailerLength = 8; // CRC-32, ISIZE
// Deflate's largest expansion: a 258-byte match in two one-bit codes.
constexpr std::uint64_t MaxDeflateRatio = 1032;

std::uint32_t readLittleEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// Whether a gzip member of memberLength bytes could inflate to `decoded` bytes at all.
bool inflatable(std::uint64_t decoded, std::uint32_t memberLength) {
    if (memberLength < GzipHeaderLength + GzipTrailerLength)
        return false;
    return decoded <= (memberLength - GzipHeaderLength - GzipTrailerLength) * MaxDeflateRatio;
}

// Whether the payload can yield the size - 4 class bytes after the magic.
bool payloadYields(const ContainerHeader& header, std::uint32_t payloadLength, std::uint32_t size) {
    // DefineClass and the tool interface take the length as a jint.
    if (size < 4 || size > static_cast<std::uint32_t>(std::numeric_limits<jint>::max()))
        return false;
    if (!header.compressed)
        return size - 4 <= payloadLength;
    const std::uint32_t packedLength = header.packedLength.value();
    return packedLength <= payloadLength && inflatable(size - 4, packedLength);
}

// zlib's own blocks, from the buffers' storage and wiped before they go back: a stream that stops
// early has copied decoded class bytes into its window. Each block starts with its size.
constexpr std::size_t ZlibBlockHeader = alignof(std::max_align_t);

voidpf allocateForZlib(voidpf, uInt items, uInt size) {
    if (size != 0 && items > (std::numeric_limits<std::size_t>::max() - ZlibBlockHeader) / size)
        return Z_NULL;
    const std::size_t bytes = std::size_t{items} * size;
    try {
        auto* block =
            static_cast<unsigned char*>(YS0073::bufferStorage.allocate(ZlibBlockHeader + bytes));
        std::memcpy(block, &bytes, sizeof bytes);
        return block + ZlibBlockHeader;
    } catch (const std::bad_alloc&) {
        return Z_NULL;
    }
}

void releaseForZlib(voidpf, voidpf address) {
    unsigned char* block = static_cast<unsigned char*>(address) - ZlibBlockHeader;
    std::size_t bytes = 0;
    std::memcpy(&bytes, block, sizeof bytes);
    YS0073::wipeBytes(block, ZlibBlockHeader + bytes);
    YS0073::bufferStorage.release(block, ZlibBlockHeader + bytes);
}

// Ends an initialised inflate stream on paths that do not reach inflateEnd themselves.
class InflateStream {
public:
    InflateStream() {
        stream.zalloc = allocateForZlib;
        stream.zfree = releaseForZlib;
        initialised = inflateInit2(&stream, 31) == Z_OK;
    }
    ~InflateStream() {
        if (initialised)
            inflateEnd(&stream);
    }
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    bool ok() const { return initialised; }
    z_stream& get() { return stream; }
    int end() {
        initialised = false;
        return inflateEnd(&stream);
    }

private:
    z_stream stream{};
    bool initialised;
};

} // namespace

bool containerSizesFit(const ContainerHeader& header, std::uint32_t payloadLength) {
    return payloadYields(header, payloadLength, header.classSize.value());
}

bool isPlainGzipHeader(const unsigned char* src, std::uint32_t srcLength) {
    return srcLength >= GzipHeaderLength &&
           std::memcmp(src, PlainGzipHeader, GzipHeaderLength) == 0;
}

bool gunzipExact(unsigned char* dest, std::uint32_t destLength, const unsigned char* src,
                 std::uint32_t srcLength) {
    // A trailer of another length could never match: refuse it before inflating anything.
    if (!isPlainGzipHeader(src, srcLength) || destLength == 0 ||
        readLittleEndian32(src + srcLength - 4) != destLength)
        return false;
    InflateStream stream;
    if (!stream.ok())
        return false;
    z_stream& z = stream.get();
    // zlib's input pointer is not const in older versions; inflate never writes through it.
    z.next_in = const_cast<unsigned char*>(src);
    z.avail_in = srcLength;
    z.next_out = dest;
    z.avail_out = destLength + InflateRoom;
    // The member must fill the input, so that the trailer zlib has checked is the one ISIZE came
    // from; a member followed by more bytes would otherwise leave the end of dest unwritten. zlib
    // compares that trailer's length with what it wrote, so a member that ends wrote destLength.
    return inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0 && stream.end() == Z_OK;
}

std::uint32_t _tbO::computeCrc32(const unsigned char* bytes, std::uint32_t length) {
    return static_cast<std::uint32_t>(crc32(0L, bytes, length));
}

bool _tbO::decodePayload(unsigned char* out, std::uint32_t size) {
    // A payload that cannot yield size - 4 bytes is refused before anything is read from it.
    if (!payloadYields(header, payloadLength, size) ||
        (header.compressed &&
         !gunzipExact(out + 4, size - 4, payload, header.packedLength.value()))) {
        log(LogError, "Decompression failed");
        sendMessage(ErrorUnspecified, "Decompression failed!");
        return false;
    }
    if (!header.compressed)
        std::memcpy(out + 4, payload, size - 4);
    if (!(header.options & OptionCrc))
        return true;
    // zlib has checked the member's trailer, its last eight bytes, against the bytes it decoded:
    // the trailer's CRC-32 is theirs, compared here rather than computed a second time.
    const std::uint32_t crc =
        header.compressed
            ? readLittleEndian32(payload + header.packedLength.value() - GzipTrailerLength)
            : computeCrc32(out + 4, size - 4);
    return crc == header.classCrc.value();
}

bool _tbO::processClass(unsigned char* out, std::uint32_t size) {
    if (logs(LogInfo))
        log(LogInfo, kbs::StringBase<char>("Processing ") + className);
    if (size < MinimumClassSize)
        return false;
    if (!threadSuspension.load() && (header.options & OptionSuspendThreads))
        threadSuspension = true;
    try {
        // Of two threads processing their first containers at once, one sends the message.
        if (!startMessageSent.exchange(true))
            sendMessage(MessageStart, kbs::emptyString());
        if (!decodePayload(out, size))
            return false;
    } catch (const kbs::Exception&) {
        log(LogError, "Internal error.");
        sendMessage(ErrorUnspecified, "Internal error!");
        // Without storage (the payload could not yield the class) there is no class to answer.
        if (!out)
            return false;
    }
    out[0] = 0xCA;
    out[1] = 0xFE;
    out[2] = 0xBA;
    out[3] = 0xBE;
    return true;
}

bool _tbO::processClass(YS0073::YS0081<unsigned char>& output) {
    const std::uint32_t size = header.classSize.value();
    const bool storage = size < MinimumClassSize || containerSizesFit(header, payloadLength);
    // Below the minimum nothing is written, and the storage keeps the header's size.
    output.setSize(!storage ? 0 : size < MinimumClassSize ? size : size + InflateRoom);
    return processClass(output.data(), size);
}

} // namespace kelo
