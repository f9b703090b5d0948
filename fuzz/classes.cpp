// One libFuzzer harness for every input the library meets: the input's first byte picks the target
// (its value modulo four: containers through iLoadClass, class files through both class-load
// hooks, the tagged Base64 chunks of carriers, java.version through the version gate), and the
// target gets the rest.
#include "container_builder.h"
#include "fake_jni.h"
#include "jni/classload/hooks.h"
#include "jni/context.h"
#include "jni/state.h"
#include "kbs/base64.h"
#include "kbs/exceptions.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace {

// A violated property ends the process: libFuzzer prints the stack and keeps the input.
void check(bool property) {
    if (!property)
        std::abort();
}

using Bytes = std::vector<unsigned char>;

// Three numbers, fewer, a suffix, none at all (no property), and versions at both ends of the
// range.
const std::optional<std::string> javaVersions[] = {"17.0.9", "1.8.0_402",  "21",    "10-ea",
                                                   "",       std::nullopt, "1.6.0", "99.255.65535"};

// One input's JVM: the unit tests' fake JNI environment and runtime, set up as two option bytes
// say. The first: 01 the Java version gate still pending, 02 runtime build 98 (iLoadClass holds
// the runtime class's monitor), 04 a native worker, 08 the Java log method throws, 10 thread
// suspension on, 20 no errorUnspecified in the runtime class. The second: its low three bits pick
// java.version, 08 a set-up left its runtime for the hook, 10 with the runtime class resolved,
// 60 which tool allocation fails (the first, the second, all), 80 the profiler's hook for JVMTI's.
// Its end runs iCleanUp and checks that nothing stayed held and that no call was made that
// -Xcheck:jni would warn about.
struct Bridge {
    Bridge(std::uint8_t options, std::uint8_t path) {
        runtime.log.throws = options & 0x08 ? "java/lang/IllegalStateException" : "";
        runtime.build.result = options & 0x02 ? 98 : 123;
        runtime.errorUnspecified.missing = (options & 0x20) != 0;
        kelo::threadSuspension = (options & 0x10) != 0;
        kelo::versionGatePending = (options & 0x01) != 0;
        jni.javaVersion = javaVersions[path & 7];
        if (options & 0x04)
            Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime.object, runtime.worker);
        if (path & 0x08)
            kelo::hookRuntimeRef.adopt(env, runtime.object);
        if ((path & 0x18) == 0x18)
            kelo::runtimeClass(env);
    }
    ~Bridge() {
        for (const std::string& problem : runtime.finish()) // printed, then fatal
            check(std::fprintf(stderr, "JNI misuse: %s\n", problem.c_str()) < 0);
    }

    fake::Jni jni;
    JNIEnv* const env = jni.env;
    fake::Runtime runtime{jni};
};

bool isClass(const unsigned char* bytes, std::size_t length) {
    return length >= 4 && std::memcmp(bytes, "\xCA\xFE\xBA\xBE", 4) == 0;
}

// A decoded class: the magic, and the class size, the stored bytes and the CRC of the header that
// the library works with (a short header leaves the rest of its template in place).
void checkDecoded(const Bytes& container, const Bytes& decoded) {
    kelo::ContainerHeader header = kelo::_tbO(nullptr, nullptr).header;
    check(container.size() >= sizeof header && isClass(decoded.data(), decoded.size()));
    const std::size_t headerLength = container[12] | container[13] << 8;
    std::memcpy(&header, container.data(), std::min(headerLength, sizeof header));
    check(decoded.size() == header.classSize.value());
    check(header.compressed ||
          std::equal(decoded.begin() + 4, decoded.end(), container.begin() + headerLength));
    check(!(header.options & kelo::OptionCrc) ||
          crc32(0L, decoded.data() + 4, header.classSize.value() - 4) == header.classCrc.value());
}

// The two option bytes, then the bytes handed to iLoadClass. What is not a container goes to the
// JVM as it came.
void fuzzContainer(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size - 2 > 0x7FFFFFFF)
        return;
    Bridge bridge(data[0], data[1]);
    const Bytes bytes(data + 2, data + size);
    Java_com_kelo_rvs_Runtime_iLoadClass(bridge.env, bridge.runtime.object, bridge.runtime.loader,
                                         bridge.jni.newString("fuzz/Sample"),
                                         bridge.jni.newByteArray(bytes));
    check(bridge.jni.definitions.size() <= 1);
    for (const fake::Definition& defined : bridge.jni.definitions) {
        check(defined.name == "fuzz/Sample");
        if (defined.bytes != bytes)
            checkDecoded(bytes, defined.bytes);
    }
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
    tool.failAt = (data[1] & 0x60) == 0x60 ? -1 : data[1] >> 5 & 3;
    const std::optional<Bytes> handed =
        data[1] & 0x80
            ? fake::profilerHook(bridge.env, bytes)
            : tool.hook(bridge.env, bridge.runtime.loader, nul ? name.c_str() : nullptr, bytes);
    check(tool.blocks.dirty == 0 && tool.blocks.live.empty() && !bridge.jni.pending);
    if (!handed || *handed == bytes)
        return;
    YS0073::YS0081<unsigned char> joined;
    if (isClass(bytes.data(), bytes.size())) { // a carrier, replaced by its container's class
        kelo::extractEmbeddedContainer(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                       name.c_str(), joined);
        bytes.assign(joined.data(), joined.data() + joined.size());
    }
    if (*handed != bytes)
        checkDecoded(bytes, *handed);
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
    Bytes block(room, 0xA5); // exactly `room` bytes: a write past them is seen
    check(kbs::decodeBase64(text.data(), text.size(), block.data(), room) == expected);
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

// The first option byte, the minimum and maximum version bytes of a header, then java.version: any
// text gets an answer, a refusal with its message, or a parse error.
void fuzzVersion(const std::uint8_t* data, std::size_t size) {
    if (size < 9)
        return;
    Bridge bridge(data[0], 0);
    bridge.jni.javaVersion = std::string(data + 9, data + size);
    kelo::_tbO context(bridge.env, bridge.runtime.object);
    std::memcpy(context.header.minJavaVersion, data + 1, 4);
    std::memcpy(context.header.maxJavaVersion, data + 5, 4);
    try {
        check(context.checkJavaVersion() == context.messageText.empty());
    } catch (const kbs::Exception& error) {
        check(error.errorId() >= 2000 && error.errorId() < 3000 && *error.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const decltype(&fuzzHook) targets[] = {fuzzContainer, fuzzHook, fuzzCarrier,
                                                  fuzzVersion};
    if (size > 0)
        targets[data[0] % 4](data + 1, size - 1);
    return 0;
}
