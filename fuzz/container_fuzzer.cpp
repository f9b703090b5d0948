// A class container through the container check and the class pipeline, the way iLoadClass runs
// them, or through iLoadClass itself. Input: an option byte (BridgeOption, and 0x80 for
// iLoadClass), a byte choosing the running Java version, then the bytes handed to the library.
#include "bridge.h"
#include "check.h"

#include "jni/classload/container.h"
#include "jni/context.h"
#include "jni/natives.h"
#include "jni/state.h"
#include "kbs/exceptions.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

constexpr std::uint8_t ThroughILoadClass = 0x80;

bool startsWithMagic(const unsigned char* bytes, std::size_t length) {
    static const unsigned char magic[] = {0xCA, 0xFE, 0xBA, 0xBE};
    return length >= 4 && std::memcmp(bytes, magic, 4) == 0;
}

// What a successful pipeline run must have produced from the accepted header and payload.
void checkDecoded(const kelo::_tbO& context, const YS0073::YS0081<unsigned char>& output) {
    const std::uint32_t size = context.header.classSize.value();
    FUZZ_CHECK(output.size() == size);
    FUZZ_CHECK(startsWithMagic(output.data(), output.size()));
    if (!context.header.compressed)
        FUZZ_CHECK(std::memcmp(output.data() + 4, context.payload, size - 4) == 0);
    if (context.header.options & kelo::OptionCrc)
        FUZZ_CHECK(crc32(0L, output.data() + 4, size - 4) == context.header.classCrc.value());
}

void runPipeline(FakeBridge& bridge, const unsigned char* bytes, std::uint32_t length) {
    kelo::_tbO context(bridge.env, bridge.runtime.object);
    context.className = "fuzz/Sample";
    try {
        if (!context.checkContainer(bytes, length))
            return;
    } catch (const kbs::Exception&) {
        // An unparsable java.version: the gate stays pending.
        FUZZ_CHECK(kelo::versionGatePending.load());
        return;
    }
    FUZZ_CHECK(context.payload >= bytes &&
               context.payload + context.payloadLength == bytes + length);
    YS0073::YS0081<unsigned char> output(0, YS0073::WipeZero);
    if (context.processClass(output))
        checkDecoded(context, output);
}

void runLoadClass(FakeBridge& bridge, const unsigned char* bytes, std::uint32_t length) {
    const std::vector<unsigned char> data(bytes, bytes + length);
    Java_com_kelo_rvs_Runtime_iLoadClass(bridge.env, bridge.runtime.object, bridge.runtime.loader,
                                         bridge.jni.newString("fuzz/Sample"),
                                         bridge.jni.newByteArray(data));
    FUZZ_CHECK(bridge.jni.definitions.size() <= 1);
    for (const fake::Definition& definition : bridge.jni.definitions) {
        FUZZ_CHECK(definition.name == "fuzz/Sample");
        // Anything but a decoded class goes to the JVM as it came.
        FUZZ_CHECK(definition.bytes == data ||
                   startsWithMagic(definition.bytes.data(), definition.bytes.size()));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size - 2 > 0x7FFFFFFF)
        return 0;
    FakeBridge bridge(data[0], data[1]);
    const auto length = static_cast<std::uint32_t>(size - 2);
    if (data[0] & ThroughILoadClass)
        runLoadClass(bridge, data + 2, length);
    else
        runPipeline(bridge, data + 2, length);
    return 0;
}
