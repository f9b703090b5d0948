#include "container_builder.h"
#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/classload/hooks.h"
#include "jni/context.h"
#include "jni/natives.h"
#include "jni/state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using testdata::base64;
using testdata::Bytes;
using testdata::carrier;
using testdata::chunk;

// Bytes at the end of a heap block of their exact size, so that a read past them is seen by
// AddressSanitizer.
std::unique_ptr<unsigned char[]> exactCopy(const Bytes& bytes, std::size_t length) {
    auto copy = std::make_unique<unsigned char[]>(length);
    std::copy_n(bytes.begin(), length, copy.get());
    return copy;
}

std::string extract(const Bytes& bytes, const char* name, std::size_t length) {
    const auto copy = exactCopy(bytes, length);
    YS0073::YS0081<unsigned char> container;
    kelo::extractEmbeddedContainer(copy.get(), static_cast<std::uint32_t>(length), name, container);
    return std::string(reinterpret_cast<const char*>(container.data()), container.size());
}

std::string extract(const Bytes& bytes, const char* name) {
    return extract(bytes, name, bytes.size());
}

// Seven bytes (one "=" of padding) and six (none), with a NUL and bytes above 127.
const std::string firstHalf("K\0\xFF\x80LO!", 7);
const std::string secondHalf("CLSF\x01\xFE", 6);
const std::string joined = firstHalf + secondHalf;

TEST(EmbeddedTagTest, IndexHasAtLeastFiveDigits) {
    EXPECT_EQ(kelo::embeddedTag("a/B", 0, true), "<KeloClassData#a/B#00000>");
    EXPECT_EQ(kelo::embeddedTag("a/B", 12, false), "</KeloClassData#a/B#00012>");
    EXPECT_EQ(kelo::embeddedTag("a/B", 123456, true), "<KeloClassData#a/B#123456>");
}

TEST(EmbeddedContainerTest, ChunksOfTheClassAreDecodedAndJoinedInOrder) {
    const Bytes bytes = carrier(
        "a/B", {chunk("a/Other", 0, base64("not this")), "text", chunk("a/B", 0, base64(firstHalf)),
                chunk("a/B", 1, base64(secondHalf)), chunk("a/B", 3, base64("after a gap"))});
    EXPECT_EQ(extract(bytes, "a/B"), joined);
    EXPECT_EQ(extract(bytes, "a/Other"), "not this");
    EXPECT_EQ(extract(bytes, "a"), "");
}

TEST(EmbeddedContainerTest, WithoutChunkZeroOrWithMalformedChunks) {
    EXPECT_EQ(extract(carrier("a/B", {chunk("a/B", 1, base64(secondHalf))}), "a/B"), "");
    // An opening tag whose closing tag is missing ends the search.
    EXPECT_EQ(
        extract(carrier("a/B", {kelo::embeddedTag("a/B", 0, true) + base64(firstHalf)}), "a/B"),
        "");
    // 4n + 1 characters decode to nothing; the next chunk still counts.
    const Bytes bytes = carrier(
        "a/B", {chunk("a/B", 0, base64(firstHalf) + "A"), chunk("a/B", 1, base64(secondHalf))});
    EXPECT_EQ(extract(bytes, "a/B"), secondHalf);
}

TEST(EmbeddedContainerTest, TruncatedCarriersAreReadOnlyToTheirEnd) {
    const Bytes bytes =
        carrier("a/B", {chunk("a/B", 0, base64(firstHalf)), chunk("a/B", 1, base64(secondHalf))});
    for (std::size_t length = 0; length <= bytes.size(); ++length) {
        const std::string found = extract(bytes, "a/B", length);
        EXPECT_TRUE(found.empty() || found == firstHalf || found == joined) << length;
    }
}

// The JVM side of a ClassFileLoadHook: a tool interface whose Allocate can fail, and which
// counts what it hands out and gets back.
class HookTest : public BridgeTest {
protected:
    HookTest() {
        active = this;
        functions.Allocate = allocate;
        functions.Deallocate = deallocate;
    }
    ~HookTest() override {
        active = nullptr;
        for (unsigned char* block : live)
            delete[] block;
    }

    // The runtime object the set-up would leave for the callbacks, with its class cached.
    void reportToRuntime(bool classCached = true) {
        kelo::hookRuntimeRef.adopt(env, runtime);
        if (classCached)
            kelo::runtimeClass(env);
        jni.calls.clear();
    }

    void load(const char* name, const Bytes& bytes) {
        const auto copy = exactCopy(bytes, bytes.size());
        kelo::onClassFileLoad(&jvmti, env, nullptr, nullptr, name, nullptr,
                              static_cast<jint>(bytes.size()), copy.get(), &newLength, &newData);
    }

    Bytes handedOver() const {
        EXPECT_EQ(live, std::set<unsigned char*>{newData});
        return newData ? Bytes(newData, newData + newLength) : Bytes();
    }

    static jvmtiError JNICALL allocate(jvmtiEnv*, jlong size, unsigned char** memory) {
        if (active->allocationFails)
            return JVMTI_ERROR_OUT_OF_MEMORY;
        *memory = new unsigned char[static_cast<std::size_t>(size)];
        active->live.insert(*memory);
        ++active->allocations;
        return JVMTI_ERROR_NONE;
    }
    static jvmtiError JNICALL deallocate(jvmtiEnv*, unsigned char* memory) {
        EXPECT_EQ(active->live.erase(memory), 1u);
        delete[] memory;
        return JVMTI_ERROR_NONE;
    }

    static HookTest* active;
    jvmtiInterface_1_ functions{};
    jvmtiEnv jvmti{&functions};
    std::set<unsigned char*> live;
    int allocations = 0;
    bool allocationFails = false;
    jint newLength = -1;
    unsigned char* newData = nullptr;
    const Bytes classFile = testdata::minimalClassFile("a/B");
    const Bytes container = testdata::buildContainer(classFile);
};

HookTest* HookTest::active = nullptr;

TEST_F(HookTest, ClassesWithoutContainersReturnEarly) {
    reportToRuntime();
    load("a/B", classFile);
    load(nullptr, carrier("a/B", {chunk("a/B", 0,
                                        base64(std::string(container.begin(), container.end())))}));
    load("a/B", carrier("a/B", {chunk("a/C", 0, base64("KELOCLSF"))}));
    EXPECT_EQ(jni.calls, fake::Strings());
    // Neither a class file nor a container.
    load("a/B", {0xCA, 0xFE, 0xBA});
    load("a/B", Bytes(container.begin(), container.begin() + 74));
    EXPECT_EQ(jni.java, fake::Strings());
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(newData, nullptr);
    EXPECT_EQ(newLength, -1);
}

TEST_F(HookTest, EmbeddedContainerIsReplacedByItsClass) {
    reportToRuntime();
    load("a/B",
         carrier("a/B",
                 {chunk("a/B", 0, base64(std::string(container.begin(), container.begin() + 40))),
                  chunk("a/B", 1, base64(std::string(container.begin() + 40, container.end())))}));
    EXPECT_EQ(handedOver(), classFile);
    EXPECT_EQ(jni.java.front(), "log(800,Processing a/B)");
}

TEST_F(HookTest, ContainerStaysWhenMemoryRunsOut) {
    allocationFails = true;
    load("a/B", container);
    EXPECT_EQ(newData, nullptr);
    EXPECT_EQ(newLength, -1);
}

TEST_F(HookTest, UndecodableContainerGoesBackAsItCameAndItsClassMemoryIsReturned) {
    testdata::ContainerShape withCrc;
    withCrc.crc = true;
    Bytes bad = testdata::buildContainer(classFile, withCrc);
    bad[testdata::AtClassCrc] ^= 1;
    load("a/B", bad);
    EXPECT_EQ(allocations, 2);
    EXPECT_EQ(handedOver(), bad);
}

TEST_F(HookTest, WithoutTheCachedRuntimeClassNothingIsLookedUpOrReported) {
    reportToRuntime(false);
    load("a/B", container);
    EXPECT_EQ(handedOver(), classFile);
    EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "FindClass"), 0);
    EXPECT_EQ(jni.java, fake::Strings());
}

// A clean-up on another thread in the middle of a callback: the callback's context reports to
// the end through what it took, and never looks the class up where it cannot be found.
TEST_F(HookTest, ACallbackKeepsItsReferencesThroughACleanUp) {
    reportToRuntime();
    kelo::_tbO context(env, kelo::hookRuntimeRef);
    Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime);
    EXPECT_TRUE(context.log(kelo::LogError, "late"));
    EXPECT_EQ(jni.java, fake::Strings{"log(1000,late)"});
    EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "FindClass"), 0);
}

std::vector<std::unique_ptr<unsigned char[]>> jvmpiBlocks;

void* jvmpiAllocate(unsigned int length) {
    return jvmpiBlocks.emplace_back(std::make_unique<unsigned char[]>(length)).get();
}

TEST_F(HookTest, ProfilerEventsReplaceContainersOnly) {
    reportToRuntime();
    Bytes data = container;
    kelo::JvmpiEvent event{kelo::JvmpiEventClassLoadHook,
                           env,
                           data.data(),
                           static_cast<jint>(data.size()),
                           nullptr,
                           0,
                           jvmpiAllocate};
    kelo::onJvmpiEvent(&event);
    ASSERT_EQ(event.newClassDataLength, static_cast<jint>(classFile.size()));
    EXPECT_EQ(Bytes(event.newClassData, event.newClassData + event.newClassDataLength), classFile);
    EXPECT_EQ(jni.java.front(), "log(800,Processing <unknown>)");

    data = classFile;
    event = {kelo::JvmpiEventClassLoadHook,
             env,
             data.data(),
             static_cast<jint>(data.size()),
             nullptr,
             0,
             jvmpiAllocate};
    kelo::onJvmpiEvent(&event);
    EXPECT_EQ(event.newClassData, data.data());
    EXPECT_EQ(event.newClassDataLength, static_cast<jint>(data.size()));
    jvmpiBlocks.clear();
}

} // namespace
