// The two decoders the benchmark compares over a corpus of gzip containers: the library's
// checkContainer and processClass, and one raw zlib inflate of the same gzip member.
#ifndef KELO_BENCH_NATIVE_DECODERS_H
#define KELO_BENCH_NATIVE_DECODERS_H

#include "corpus.h"

#include "kbs/strings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// The gzip member of a container: packedLength bytes at the header length.
struct GzipMember {
    const unsigned char* bytes;
    std::uint32_t length;
};

class DecodeCorpus {
public:
    // Throws std::runtime_error for a file that is not a compressed container.
    explicit DecodeCorpus(std::vector<CorpusFile> files);

    // One pass over every container; false when any of them fails to decode.
    bool decodeWithKelo();
    bool decodeWithZlib();
    // Decodes every container both ways and compares the class bytes: empty when all agree, else
    // what differs.
    std::string crossCheck();

    std::size_t count() const { return files.size(); }
    std::uint64_t packedBytes() const { return packed; }
    std::uint64_t decodedBytes() const { return decoded; }

private:
    // The library's way, into output: checkContainer and processClass on a fresh context named as
    // iLoadClass names it. Answers the class size, or 0 on failure.
    std::uint32_t decodeWithKelo(std::size_t index);
    // inflateInit2 for gzip, one inflate with Z_FINISH, inflateEnd, into output. Answers the
    // decoded length, or 0 on failure.
    std::uint32_t decodeWithZlib(std::size_t index);

    std::vector<CorpusFile> files;
    std::vector<kbs::StringBase<char>> names;
    std::vector<GzipMember> members;
    // Allocated once, large enough for the biggest class.
    std::vector<unsigned char> output;
    std::uint64_t packed = 0;
    std::uint64_t decoded = 0;
};

} // namespace bench

#endif
