// The class-load hooks as the JVM calls them: the JVMTI ClassFileLoadHook (class files with
// embedded containers, bare containers, anything else) and the JVMPI class-load-hook event, with a
// tool interface whose allocations can fail. Input: a BridgeOption byte, a hook option byte, the
// class name up to a NUL (no NUL: a null name), then the class data.
#include "bridge.h"
#include "check.h"

#include "jni/callbacks.h"
#include "jni/classload/container.h"
#include "jni/classload/hooks.h"
#include "jni/context.h"
#include "jni/state.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Bits of the hook option byte; its low three bits pick the running Java version.
constexpr std::uint8_t RuntimeReported = 0x08; // a set-up left its runtime for the callbacks
constexpr std::uint8_t RuntimeCached = 0x10;   // ... with the runtime class resolved
constexpr std::uint8_t FailShift = 5; // 1: the first allocation fails, 2: the second, 3: all
constexpr std::uint8_t ThroughJvmpi = 0x80;

using Bytes = std::vector<unsigned char>;

std::vector<std::unique_ptr<unsigned char[]>> profilerBlocks;

void* profilerAllocate(unsigned int length) {
    return profilerBlocks.emplace_back(std::make_unique<unsigned char[]>(length)).get();
}

bool startsWithMagic(const unsigned char* bytes, std::size_t length) {
    static const unsigned char magic[] = {0xCA, 0xFE, 0xBA, 0xBE};
    return length >= 4 && std::memcmp(bytes, magic, 4) == 0;
}

// The class size the library works with: a header shorter than the record leaves the rest of the
// context's template in place.
std::uint32_t classSizeOf(const Bytes& container) {
    const kelo::_tbO probe(nullptr, nullptr);
    kelo::ContainerHeader header = probe.header;
    const std::size_t headerLength = container[12] | container[13] << 8;
    std::memcpy(&header, container.data(), std::min(headerLength, sizeof header));
    return header.classSize.value();
}

// Replaced data is either the decoded class (its magic, the header's class size) or, for a
// container that could not be decoded, the container as it was.
void checkReplacement(const Bytes& container, const unsigned char* replaced, jint length) {
    FUZZ_CHECK(length >= 0);
    const Bytes bytes(replaced, replaced + length);
    if (bytes == container)
        return;
    FUZZ_CHECK(container.size() >= sizeof(kelo::ContainerHeader));
    FUZZ_CHECK(startsWithMagic(bytes.data(), bytes.size()));
    FUZZ_CHECK(bytes.size() == classSizeOf(container));
}

void runJvmti(FakeBridge& bridge, unsigned failing, const char* name, const Bytes& data) {
    fake::Tool tool;
    tool.failAt = failing == 3 ? -1 : static_cast<int>(failing);
    jint newLength = -1;
    unsigned char* newData = nullptr;
    // An exact-size copy, so that a read past the class data is seen.
    const auto copy = std::make_unique<unsigned char[]>(data.size());
    std::copy(data.begin(), data.end(), copy.get());
    kelo::onClassFileLoad(&tool.env, bridge.env, nullptr, bridge.runtime.loader, name, nullptr,
                          static_cast<jint>(data.size()), copy.get(), &newLength, &newData);
    FUZZ_CHECK(!bridge.jni.pending);
    if (!newData) {
        FUZZ_CHECK(newLength == -1);
        FUZZ_CHECK(tool.blocks.live.empty());
        return;
    }
    // Only the block handed over is left; the JVM owns it now.
    FUZZ_CHECK(tool.blocks.live.size() == 1 && tool.blocks.live.count(newData) == 1);
    FUZZ_CHECK(tool.blocks.dirty == 0);
    Bytes container = data;
    if (startsWithMagic(data.data(), data.size())) {
        FUZZ_CHECK(name);
        YS0073::YS0081<unsigned char> joined;
        kelo::extractEmbeddedContainer(data.data(), static_cast<std::uint32_t>(data.size()), name,
                                       joined);
        container.assign(joined.data(), joined.data() + joined.size());
    }
    checkReplacement(container, newData, newLength);
}

void runJvmpi(FakeBridge& bridge, Bytes data) {
    kelo::JvmpiEvent event{kelo::JvmpiEventClassLoadHook,
                           bridge.env,
                           data.data(),
                           static_cast<jint>(data.size()),
                           nullptr,
                           0,
                           profilerAllocate};
    kelo::onJvmpiEvent(&event);
    FUZZ_CHECK(!bridge.jni.pending);
    if (event.newClassData != data.data())
        checkReplacement(data, event.newClassData, event.newClassDataLength);
    else
        FUZZ_CHECK(event.newClassDataLength == static_cast<jint>(data.size()));
    profilerBlocks.clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 0x7FFFFFFF)
        return 0;
    const std::uint8_t hookOptions = data[1];
    FakeBridge bridge(data[0], hookOptions & 7);
    if (hookOptions & RuntimeReported) {
        kelo::hookRuntimeRef.adopt(bridge.env, bridge.runtime.object);
        if (hookOptions & RuntimeCached)
            kelo::runtimeClass(bridge.env);
    }
    const auto* rest = data + 2;
    const auto* end = data + size;
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(rest, 0, size - 2));
    const std::string name = nul ? std::string(rest, nul) : std::string();
    const Bytes classData(nul ? nul + 1 : rest, end);
    if (hookOptions & ThroughJvmpi)
        runJvmpi(bridge, classData);
    else
        runJvmti(bridge, hookOptions >> FailShift & 3, nul ? name.c_str() : nullptr, classData);
    return 0;
}
