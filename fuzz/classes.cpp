// Class bytes as the library meets them: containers through the pipeline and iLoadClass, class
// files through both class-load hooks, and the tagged Base64 chunks of carriers.
#include "fuzzer.h"

#include "container_builder.h"
#include "fake_jni.h"
#include "jni/classload/hooks.h"
#include "jni/context.h"
#include "jni/natives.h"
#include "jni/state.h"
#include "kbs/base64.h"
#include "kbs/exceptions.h"

#include <zlib.h>

#include <cstring>
#include <iterator>
#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;

// Three numbers, fewer, a suffix, none at all (null), and versions at both ends of the range.
const char* const javaVersions[] = {"17.0.9", "1.8.0_402", "21",    "10-ea",
                                    "",       nullptr,     "1.6.0", "99.255.65535"};

// One input's JVM: the unit tests' fake JNI environment and runtime, set up as two option bytes
// say. The first: 01 the Java version gate still pending, 02 runtime build 98 (iLoadClass holds
// the runtime class's monitor), 04 a native worker, 08 the Java log method throws, 10 thread
// suspension on, 20 no errorUnspecified in the runtime class. The second: its low three bits pick
// java.version, 08 a set-up left its runtime for the hook, 10 with the runtime class resolved,
// 60 which tool allocation fails (the first, the second, all), 80 the other way in (iLoadClass,
// the profiler's hook). Its end runs iCleanUp and checks that nothing stayed held and that no
// call was made that -Xcheck:jni would warn about.
struct Bridge {
    Bridge(std::uint8_t options, std::uint8_t path) {
        runtime.log.throws = options & 0x08 ? "java/lang/IllegalStateException" : "";
        runtime.build.result = options & 0x02 ? 98 : 123;
        runtime.errorUnspecified.missing = (options & 0x20) != 0;
        kelo::threadSuspension = (options & 0x10) != 0;
        kelo::versionGatePending = (options & 0x01) != 0;
        jni.systemProperties.clear();
        if (const char* version = javaVersions[path & 7])
            jni.systemProperties["java.version"] = version;
        if (options & 0x04)
            Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime.object, runtime.worker);
        if (path & 0x08)
            kelo::hookRuntimeRef.adopt(env, runtime.object);
        if ((path & 0x18) == 0x18)
            kelo::runtimeClass(env);
    }
    ~Bridge() {
        const fake::Strings problems = runtime.finish();
        for (const std::string& problem : problems)
            std::fprintf(stderr, "JNI misuse: %s\n", problem.c_str());
        check(problems.empty());
    }

    fake::Jni jni;
    JNIEnv* const env = jni.env;
    fake::Runtime runtime{jni};
};

bool isClass(const unsigned char* bytes, std::size_t length) {
    return length >= 4 && std::memcmp(bytes, "\xCA\xFE\xBA\xBE", 4) == 0;
}

// A decoded class has the header's size, the magic, (stored) the payload and (when asked) the
// header's CRC.
void runPipeline(Bridge& bridge, const unsigned char* bytes, std::uint32_t length) {
    kelo::_tbO context(bridge.env, bridge.runtime.object);
    context.className = "fuzz/Sample";
    try {
        if (!context.checkContainer(bytes, length))
            return;
    } catch (const kbs::Exception&) {
        return check(kelo::versionGatePending); // an unparsable java.version
    }
    check(context.payload >= bytes && context.payload + context.payloadLength == bytes + length);
    YS0073::YS0081<unsigned char> output(0, YS0073::WipeZero);
    const std::uint32_t size = context.header.classSize.value();
    if (!context.processClass(output))
        return;
    check(output.size() == size && isClass(output.data(), size));
    check(context.header.compressed ||
          std::memcmp(output.data() + 4, context.payload, size - 4) == 0);
    check(!(context.header.options & kelo::OptionCrc) ||
          crc32(0L, output.data() + 4, size - 4) == context.header.classCrc.value());
}

std::vector<std::unique_ptr<unsigned char[]>> profilerBlocks;

void* profilerAllocate(unsigned int length) {
    return profilerBlocks.emplace_back(std::make_unique<unsigned char[]>(length)).get();
}

} // namespace

// The two option bytes, then the container. Anything but a decoded class goes to the JVM as it
// came.
void fuzzContainer(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size - 2 > 0x7FFFFFFF)
        return;
    Bridge bridge(data[0], data[1]);
    const Bytes bytes(data + 2, data + size);
    if (!(data[1] & 0x80))
        return runPipeline(bridge, data + 2, static_cast<std::uint32_t>(size - 2));
    Java_com_kelo_rvs_Runtime_iLoadClass(bridge.env, bridge.runtime.object, bridge.runtime.loader,
                                         bridge.jni.newString("fuzz/Sample"),
                                         bridge.jni.newByteArray(bytes));
    check(bridge.jni.definitions.size() <= 1);
    for (const fake::Definition& defined : bridge.jni.definitions)
        check(defined.name == "fuzz/Sample" &&
              (defined.bytes == bytes || isClass(defined.bytes.data(), defined.bytes.size())));
}

// The two option bytes, the class name up to a NUL (no NUL: a null name), then the class data (an
// exact-size copy, so that a read past it is seen). Only the block handed to the JVM stays
// allocated, and it holds the decoded class (the magic, and the class size of the header that the
// library works with: a short header leaves the rest of its template) or the container as it was.
void fuzzHook(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 0x7FFFFFFF)
        return;
    Bridge bridge(data[0], data[1]);
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data + 2, 0, size - 2));
    const std::string name(data + 2, nul ? nul : data + 2);
    Bytes bytes(nul ? nul + 1 : data + 2, data + size);
    fake::Tool tool;
    const int failing = data[1] >> 5 & 3;
    tool.failAt = failing == 3 ? -1 : failing;
    jint length = -1;
    unsigned char* replaced = nullptr;
    profilerBlocks.clear();
    kelo::JvmpiEvent event{kelo::JvmpiEventClassLoadHook,
                           bridge.env,
                           bytes.data(),
                           static_cast<jint>(bytes.size()),
                           nullptr,
                           0,
                           profilerAllocate};
    if (data[1] & 0x80) {
        kelo::onJvmpiEvent(&event);
        replaced = event.newClassData == bytes.data() ? nullptr : event.newClassData;
        length = event.newClassDataLength;
    } else {
        kelo::onClassFileLoad(&tool.env, bridge.env, nullptr, bridge.runtime.loader,
                              nul ? name.c_str() : nullptr, nullptr, event.classDataLength,
                              bytes.data(), &length, &replaced);
        check(tool.blocks.dirty == 0 && tool.blocks.live.size() == (replaced ? 1 : 0) &&
              tool.blocks.live.count(replaced) == (replaced ? 1 : 0));
    }
    check(!bridge.jni.pending);
    if (!replaced)
        return;
    YS0073::YS0081<unsigned char> joined;
    if (isClass(bytes.data(), bytes.size()) && nul) // a carrier: its container instead
        kelo::extractEmbeddedContainer(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                       name.c_str(), joined);
    if (isClass(bytes.data(), bytes.size()))
        bytes.assign(joined.data(), joined.data() + joined.size());
    if (length >= 0 && Bytes(replaced, replaced + length) == bytes)
        return;
    kelo::ContainerHeader header = kelo::_tbO(nullptr, nullptr).header;
    check(bytes.size() >= sizeof header && isClass(replaced, static_cast<std::size_t>(length)));
    std::memcpy(&header, bytes.data(),
                std::min<std::size_t>(bytes[12] | bytes[13] << 8, sizeof header));
    check(static_cast<std::uint32_t>(length) == header.classSize.value());
}

// A byte for the destination's size and the chunks' length, then bytes. As text they decode into
// a destination shorter or longer than their result: three bytes per four characters (none for a
// length that is not a multiple of four), less one per character from the first '=' on, then
// zeros. As a container, in chunks tagged and encoded here, the carrier's scan joins them back.
void fuzzCarrier(const std::uint8_t* data, std::size_t size) {
    const std::size_t change = size ? *data / 2 : 0;
    const std::string text(data + (size ? 1 : 0), data + size);
    const std::size_t full = text.size() % 4 ? 0 : text.size() / 4 * 3;
    const std::size_t cut = text.size() - std::min(text.size(), text.find('='));
    const std::size_t expected = full - std::min(full, cut);
    const std::size_t room = size && *data & 1 ? full + change : full - std::min(full, change);
    const auto block = std::make_unique<unsigned char[]>(room);
    std::memset(block.get(), 0xA5, room);
    check(kbs::decodeBase64(text.data(), text.size(), block.get(), room) == expected);
    for (std::size_t at = std::min(expected, room); at < room; ++at)
        check(block[at] == 0);
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < text.size(); at += change % 100 + 1)
        chunks.push_back(testdata::chunk("fuzz/Sample", static_cast<unsigned>(chunks.size()),
                                         testdata::base64(text.substr(at, change % 100 + 1))));
    const Bytes carrier = testdata::classFile("fuzz/Sample", chunks);
    YS0073::YS0081<unsigned char> joined;
    kelo::extractEmbeddedContainer(carrier.data(), static_cast<std::uint32_t>(carrier.size()),
                                   "fuzz/Sample", joined);
    check(std::string(joined.data(), joined.data() + joined.size()) == text);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const decltype(&fuzzHook) targets[] = {fuzzContainer, fuzzHook,      fuzzCarrier,
                                                  fuzzParsing,   fuzzFileNames, fuzzFormat};
    if (size > 0)
        targets[data[0] % std::size(targets)](data + 1, size - 1);
    return 0;
}
