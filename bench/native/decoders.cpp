#include "decoders.h"

#include "jni/classload/pipeline.h"
#include "jni/context.h"
#include "jni/state.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace bench {

DecodeCorpus::DecodeCorpus(std::vector<CorpusFile> corpus) : files(std::move(corpus)) {
    // The Java version gate runs once per process and needs a JVM: here it counts as passed, so
    // that no container reaches JNI. With a null caller nothing else on the path does either.
    kelo::versionGatePending = false;
    std::uint32_t largest = 0;
    for (const CorpusFile& file : files) {
        kelo::_tbO context(nullptr, nullptr);
        if (!context.checkContainer(file.bytes.data(),
                                    static_cast<std::uint32_t>(file.bytes.size())))
            throw std::runtime_error(file.name + " is not a class container");
        const kelo::ContainerHeader& header = context.header;
        const std::uint32_t packedLength = header.packedLength.value();
        if (!header.compressed || packedLength > context.payloadLength)
            throw std::runtime_error(file.name + " holds no gzip member");
        names.emplace_back(file.name.c_str());
        members.push_back({context.payload, packedLength});
        largest = std::max(largest, header.classSize.value());
        packed += packedLength;
        decoded += header.classSize.value();
    }
    output.resize(largest + kelo::InflateRoom);
}

std::uint32_t DecodeCorpus::decodeWithKelo(std::size_t index) {
    const std::vector<unsigned char>& bytes = files[index].bytes;
    kelo::_tbO context(nullptr, nullptr);
    context.className = names[index];
    if (!context.checkContainer(bytes.data(), static_cast<std::uint32_t>(bytes.size())))
        return 0;
    const std::uint32_t size = context.header.classSize.value();
    return context.processClass(output.data(), size) ? size : 0;
}

std::uint32_t DecodeCorpus::decodeWithZlib(std::size_t index) {
    z_stream z{};
    if (inflateInit2(&z, 31) != Z_OK)
        return 0;
    z.next_in = const_cast<unsigned char*>(members[index].bytes);
    z.avail_in = members[index].length;
    z.next_out = output.data();
    z.avail_out = static_cast<uInt>(output.size());
    const bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
    const auto length = static_cast<std::uint32_t>(z.total_out);
    return inflateEnd(&z) == Z_OK && ended ? length : 0;
}

bool DecodeCorpus::decodeWithKelo() {
    bool all = true;
    for (std::size_t i = 0; i < files.size(); ++i)
        all &= decodeWithKelo(i) != 0;
    return all;
}

bool DecodeCorpus::decodeWithZlib() {
    bool all = true;
    for (std::size_t i = 0; i < files.size(); ++i)
        all &= decodeWithZlib(i) != 0;
    return all;
}

std::string DecodeCorpus::crossCheck() {
    std::vector<unsigned char> kelo;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::uint32_t size = decodeWithKelo(i);
        if (size < 4)
            return files[i].name + ": the library did not decode it";
        kelo.assign(output.begin(), output.begin() + size);
        if (kelo[0] != 0xCA || kelo[1] != 0xFE || kelo[2] != 0xBA || kelo[3] != 0xBE)
            return files[i].name + ": the library's bytes lack the class-file magic";
        const std::uint32_t length = decodeWithZlib(i);
        if (length != size - 4 || std::memcmp(kelo.data() + 4, output.data(), length) != 0)
            return files[i].name + ": the library's bytes differ from zlib's";
    }
    return {};
}

} // namespace bench
