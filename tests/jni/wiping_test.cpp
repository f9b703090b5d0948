// Class bytes and packed streams do not outlive their buffers: every block that iLoadClass and the
// class-load hook get from the buffers' storage functions, or from the tool interface, is all
// zeros when it is given back, on success and on every failure of the pipeline.
#include "classload_fixture.h"

#include "jni/classload/buffers.h"
#include "jni/classload/hooks.h"
#include "jni/natives.h"

#include <jvmti.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <set>

using testdata::Bytes;
using testdata::ContainerShape;

namespace {

// The blocks of one allocator: those still out, the sizes of those given back, and how many of
// these were not all zeros.
struct Blocks {
    std::map<unsigned char*, std::size_t> live;
    std::multiset<std::size_t> freed;
    int dirty = 0;

    void add(void* block, std::size_t bytes) {
        live.emplace(static_cast<unsigned char*>(block), bytes);
    }
    void remove(void* block) {
        const auto found = live.find(static_cast<unsigned char*>(block));
        ASSERT_NE(found, live.end());
        const unsigned char* first = found->first;
        if (std::any_of(first, first + found->second, [](unsigned char b) { return b != 0; }))
            ++dirty;
        freed.insert(found->second);
        live.erase(found);
    }
    bool holds(const void* data, std::size_t length) const {
        const auto* first = static_cast<const unsigned char*>(data);
        return std::any_of(live.begin(), live.end(), [&](const auto& block) {
            return first >= block.first && first + length <= block.first + block.second;
        });
    }
};

Bytes classFile() {
    return testdata::minimalClassFile("a/B");
}

Bytes container(bool compressed) {
    ContainerShape shape;
    shape.compressed = compressed;
    shape.crc = true;
    return testdata::buildContainer(classFile(), shape);
}

constexpr std::size_t Payload = 75;

// The gzip member of a compressed container spoilt: its deflate data made invalid, or its second
// half cut off with the trailer kept.
Bytes withGzipMember(const Bytes& original, bool truncate) {
    Bytes bytes = original;
    std::uint32_t packed = 0;
    for (std::size_t at = 4; at-- > 0;)
        packed = packed << 8 | bytes[testdata::AtPackedLength + at];
    const auto deflate = bytes.begin() + Payload + 10;
    const auto trailer = bytes.begin() + Payload + packed - 8;
    if (!truncate) {
        // Block type 3, which no deflate stream may use.
        *deflate = 0x07;
        return bytes;
    }
    const auto cut = (trailer - deflate) / 2;
    bytes.erase(trailer - cut, trailer);
    testdata::put32(bytes, testdata::AtPackedLength, static_cast<std::uint32_t>(packed - cut));
    return bytes;
}

Bytes withWrongCrc(Bytes bytes) {
    bytes[testdata::AtClassCrc] ^= 1;
    return bytes;
}

} // namespace

class WipingTest : public ClassLoadTest {
protected:
    WipingTest() : loader(jni.newObject(jni.addClass("java/lang/ClassLoader"))) {
        active = this;
        YS0073::bufferStorage = {allocateBuffer, releaseBuffer};
        define = jni.table.DefineClass;
        jni.table.DefineClass = defineWatched;
        toolFunctions.Allocate = allocateTool;
        toolFunctions.Deallocate = deallocateTool;
    }
    ~WipingTest() override {
        YS0073::bufferStorage = {YS0073::allocateWithNew, YS0073::releaseWithDelete};
        for (const auto& block : toolMemory.live)
            delete[] block.first;
        active = nullptr;
    }

    jclass load(const Bytes& data) {
        buffers = {};
        return Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, loader, jni.newString("a/B"),
                                                    jni.newByteArray(data));
    }

    // The class-load hook on the container; answers the bytes handed to the JVM, if any.
    Bytes hook(const Bytes& data) {
        buffers = {};
        jint newLength = -1;
        unsigned char* newData = nullptr;
        kelo::onClassFileLoad(&tool, env, nullptr, nullptr, "a/B", nullptr,
                              static_cast<jint>(data.size()), data.data(), &newLength, &newData);
        if (!newData)
            return {};
        EXPECT_EQ(toolMemory.live.count(newData), 1u);
        return Bytes(newData, newData + newLength);
    }

    // Every buffer came back, as zeros.
    void expectWiped() {
        EXPECT_TRUE(buffers.live.empty());
        EXPECT_EQ(buffers.dirty, 0);
    }
    // iLoadClass decodes into a buffer of the class size.
    void expectClassBufferWiped() {
        expectWiped();
        EXPECT_EQ(buffers.freed.count(classFile().size()), 1u);
    }

    static void* allocateBuffer(std::size_t bytes) {
        void* block = YS0073::allocateWithNew(bytes);
        active->buffers.add(block, bytes);
        return block;
    }
    static void releaseBuffer(void* block, std::size_t bytes) {
        EXPECT_EQ(active->buffers.live[static_cast<unsigned char*>(block)], bytes);
        active->buffers.remove(block);
        YS0073::releaseWithDelete(block, bytes);
    }
    static jclass JNICALL defineWatched(JNIEnv* env, const char* name, jobject loader,
                                        const jbyte* bytes, jsize length) {
        active->definedFromBuffer = active->buffers.holds(bytes, static_cast<std::size_t>(length));
        return active->define(env, name, loader, bytes, length);
    }
    static jvmtiError JNICALL allocateTool(jvmtiEnv*, jlong size, unsigned char** memory) {
        *memory = new unsigned char[static_cast<std::size_t>(size)];
        active->toolMemory.add(*memory, static_cast<std::size_t>(size));
        return JVMTI_ERROR_NONE;
    }
    static jvmtiError JNICALL deallocateTool(jvmtiEnv*, unsigned char* memory) {
        active->toolMemory.remove(memory);
        delete[] memory;
        return JVMTI_ERROR_NONE;
    }

    static WipingTest* active;
    jobject loader;
    Blocks buffers;
    Blocks toolMemory;
    decltype(JNINativeInterface_::DefineClass) define;
    bool definedFromBuffer = false;
    jvmtiInterface_1_ toolFunctions{};
    jvmtiEnv tool{&toolFunctions};
};

WipingTest* WipingTest::active = nullptr;

TEST_F(WipingTest, TheWatchSeesBytesLeftInAFreedBlock) {
    {
        YS0073::YS0081<unsigned char> kept(16, YS0073::WipeNone);
        std::fill(kept.data(), kept.data() + 16, 0xEE);
        YS0073::YS0081<unsigned char> wiped(16, YS0073::WipeZero);
        std::fill(wiped.data(), wiped.data() + 16, 0xEE);
    }
    EXPECT_EQ(buffers.freed, (std::multiset<std::size_t>{16, 16}));
    EXPECT_EQ(buffers.dirty, 1);
}

TEST_F(WipingTest, DefinedClassBytesAreWipedOnceDefined) {
    for (bool compressed : {false, true}) {
        SCOPED_TRACE(compressed ? "gzip" : "stored");
        const Bytes bytes = container(compressed);
        definedFromBuffer = false;
        EXPECT_NE(load(bytes), nullptr);
        EXPECT_TRUE(definedFromBuffer);
        EXPECT_EQ(jni.definitions.back().bytes, classFile());
        expectClassBufferWiped();
    }
}

TEST_F(WipingTest, DecodedBytesAreWipedWhenTheContainerFails) {
    const Bytes cases[] = {withWrongCrc(container(false)), withWrongCrc(container(true)),
                           withGzipMember(container(true), false),
                           withGzipMember(container(true), true)};
    const char* names[] = {"stored, CRC", "gzip, CRC", "bad gzip", "truncated gzip"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(load(cases[i]), nullptr);
        expectClassBufferWiped();
    }
    EXPECT_TRUE(jni.definitions.empty());
}

TEST_F(WipingTest, TheHookWipesWhatItDoesNotHandOver) {
    EXPECT_EQ(hook(container(true)), classFile());
    expectWiped();
    EXPECT_EQ(toolMemory.freed.size(), 0u);

    // The class memory goes back to the tool interface, the container to the JVM as it came.
    for (const Bytes& bad :
         {withWrongCrc(container(true)), withGzipMember(container(true), true)}) {
        toolMemory.freed.clear();
        EXPECT_EQ(hook(bad), bad);
        expectWiped();
        EXPECT_EQ(toolMemory.freed, std::multiset<std::size_t>{classFile().size()});
        EXPECT_EQ(toolMemory.dirty, 0);
    }
}

TEST_F(WipingTest, AnEmbeddedContainerIsWipedOnceDecoded) {
    const Bytes packed = container(true);
    const std::string text = testdata::base64(std::string(packed.begin(), packed.end()));
    const std::size_t half = text.size() / 8 * 4;
    const Bytes carrier = testdata::carrier("a/B", {testdata::chunk("a/B", 0, text.substr(0, half)),
                                                    testdata::chunk("a/B", 1, text.substr(half))});
    EXPECT_EQ(hook(carrier), classFile());
    expectWiped();
    // The joined container, besides the pipeline's scratch buffers.
    EXPECT_EQ(buffers.freed.count(packed.size()), 1u);
}
