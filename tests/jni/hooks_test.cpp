// Embedded containers and the class-load hooks as the JVM calls them.
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/classload/hooks.h"
#include "jni/context.h"
#include "jni/natives.h"
#include "jni/state.h"

using namespace testdata;

namespace {

// Seven bytes (one "=" of padding) and six (none), with a NUL and bytes above 127.
const std::string first("K\0\xFF\x80LO!", 7);
const std::string second("CLSF\x01\xFE", 6);

struct CarrierRow {
    const char* why;
    std::vector<std::string> texts;
    const char* name;
    std::string expected;
};

const CarrierRow carrierRows[] = {
    {"chunks joined in order, others ignored",
     {chunk("a/Other", 0, base64("other")), "text", chunk("a/B", 0, base64(first)),
      chunk("a/B", 1, base64(second)), chunk("a/B", 2, base64("K")),
      chunk("a/B", 4, base64("after a gap"))},
     "a/B",
     first + second + "K"},
    {"another class's chunks", {chunk("a/Other", 0, base64("other"))}, "a/Other", "other"},
    {"a name that only starts the tag's", {chunk("a/B", 0, base64(first))}, "a", ""},
    {"no chunk 0", {chunk("a/B", 1, base64(second))}, "a/B", ""},
    {"no closing tag", {"<KeloClassData#a/B#00000>" + base64(first)}, "a/B", ""},
    {"4n+1 characters decode to nothing",
     {chunk("a/B", 0, base64(first) + "A"), chunk("a/B", 1, base64(second))},
     "a/B",
     second},
};

class CarrierTest : public ::testing::TestWithParam<CarrierRow> {};

TEST_P(CarrierTest, Extract) {
    const Bytes carrier = classFile("a/B", GetParam().texts);
    YS0073::YS0081<unsigned char> container;
    kelo::extractEmbeddedContainer(carrier.data(), static_cast<std::uint32_t>(carrier.size()),
                                   GetParam().name, container);
    EXPECT_EQ(std::string(container.data(), container.data() + container.size()),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, CarrierTest, ::testing::ValuesIn(carrierRows));

class HookTest : public BridgeTest {
protected:
    // The runtime that the set-up leaves for the callbacks, with its class cached.
    void reportToRuntime(bool classCached = true) {
        kelo::hookRuntimeRef.adopt(env, runtime);
        if (classCached)
            kelo::runtimeClass(env);
        jni.calls.clear();
    }

    // The bytes handed to the JVM, or none.
    Bytes load(const char* name, const Bytes& bytes) {
        jint newLength = -1;
        unsigned char* newData = nullptr;
        const std::size_t live = tool.blocks.live.size();
        kelo::onClassFileLoad(&tool.env, env, nullptr, nullptr, name, nullptr,
                              static_cast<jint>(bytes.size()), Bytes(bytes).data(), &newLength,
                              &newData);
        EXPECT_EQ(tool.blocks.live.size(), live + (newData ? 1 : 0));
        EXPECT_EQ(tool.blocks.dirty, 0);
        return newData ? Bytes(newData, newData + newLength) : Bytes();
    }

    Bytes carrierOf(const Bytes& container) {
        const std::string text = base64(std::string(container.begin(), container.end()));
        return classFile("a/B",
                         {chunk("a/B", 0, text.substr(0, 40)), chunk("a/B", 1, text.substr(40))});
    }

    fake::Tool tool;
    const Bytes sample = classFile("a/B");
    const Bytes packed = container(sample, {true, true});
};

TEST_F(HookTest, ClassesWithoutContainersReturnEarly) {
    reportToRuntime();
    EXPECT_EQ(load("a/B", sample), Bytes());
    EXPECT_EQ(load(nullptr, carrierOf(packed)), Bytes());
    EXPECT_EQ(load("a/C", carrierOf(packed)), Bytes());
    EXPECT_EQ(jni.calls, fake::Strings());
    EXPECT_EQ(load("a/B", Bytes(packed.begin(), packed.begin() + 74)), Bytes());
    EXPECT_EQ(jni.java, fake::Strings());
    EXPECT_EQ(tool.allocations, 0);
}

TEST_F(HookTest, ContainersAndCarriersAreReplacedByTheirClass) {
    reportToRuntime();
    EXPECT_EQ(load("a/B", carrierOf(packed)), sample);
    EXPECT_EQ(jni.java.at(0), "log(800,Processing a/B)");
    EXPECT_EQ(load("a/B", packed), sample);
    tool.failAt = -1;
    EXPECT_EQ(load("a/B", packed), Bytes());
}

// Handed back as it came, so that the JVM rejects it as a malformed class.
TEST_F(HookTest, AnUndecodableContainerGoesBackAsItCame) {
    Bytes bad = packed;
    bad[AtClassCrc] ^= 1;
    EXPECT_EQ(load("a/B", carrierOf(bad)), bad);
    EXPECT_EQ(tool.allocations, 2);
    EXPECT_EQ(tool.blocks.freed, std::multiset<std::size_t>{sample.size()});
}

TEST_F(HookTest, WithoutTheCachedRuntimeClassNothingIsLookedUpOrReported) {
    reportToRuntime(false);
    EXPECT_EQ(load("a/B", packed), sample);
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

std::vector<std::unique_ptr<unsigned char[]>> profilerBlocks;

void* profilerAllocate(unsigned int length) {
    return profilerBlocks.emplace_back(std::make_unique<unsigned char[]>(length)).get();
}

TEST_F(HookTest, ProfilerEventsReplaceContainersOnly) {
    for (Bytes data : {packed, sample}) {
        kelo::JvmpiEvent event{kelo::JvmpiEventClassLoadHook,
                               env,
                               data.data(),
                               static_cast<jint>(data.size()),
                               nullptr,
                               0,
                               profilerAllocate};
        kelo::onJvmpiEvent(&event);
        EXPECT_EQ(Bytes(event.newClassData, event.newClassData + event.newClassDataLength), sample);
    }
    profilerBlocks.clear();
}

} // namespace
