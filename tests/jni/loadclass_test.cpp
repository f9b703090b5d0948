// iLoadClass: what reaches DefineClass, the monitor of old runtimes, and the release of every
// resource on every path (BridgeTest's tear-down checks what is left held).
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/natives.h"
#include "jni/state.h"

#include <algorithm>

using namespace testdata;

namespace {

const Bytes sample = classFile("a/B");

class LoadClassTest : public BridgeTest {
protected:
    jclass load(const Bytes& data) {
        return Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, java.loader, jni.newString("a/B"),
                                                    jni.newByteArray(data));
    }

    // The JNI functions called, without exception checks and local references.
    fake::Strings calls() const {
        fake::Strings calls;
        std::copy_if(jni.calls.begin(), jni.calls.end(), std::back_inserter(calls),
                     [](const std::string& call) {
                         return call.rfind("Exception", 0) != 0 && call != "DeleteLocalRef";
                     });
        return calls;
    }
};

TEST_F(LoadClassTest, PlainClassBytesAreDefinedUnchanged) {
    EXPECT_NE(load(sample), nullptr);
    ASSERT_EQ(jni.definitions.size(), 1u);
    EXPECT_EQ(jni.definitions[0].name, "a/B");
    EXPECT_EQ(jni.definitions[0].bytes, sample);
    EXPECT_EQ(calls(),
              (fake::Strings{"FindClass", "NewGlobalRef", "GetMethodID", "CallIntMethod",
                             "GetStringUTFLength", "GetStringUTFChars", "ReleaseStringUTFChars",
                             "GetArrayLength", "GetByteArrayElements", "DefineClass",
                             "ReleaseByteArrayElements"}));
}

TEST_F(LoadClassTest, ContainersAreDecodedOrDefinedAsTheyCame) {
    for (const bool compressed : {false, true}) {
        EXPECT_NE(load(container(sample, {compressed, true})), nullptr);
        EXPECT_EQ(jni.definitions.back().bytes, sample);
    }
    // A corrupt container defines nothing and leaves no exception.
    Bytes corrupt = container(sample, {false, true});
    corrupt[90] ^= 1;
    jni.definitions.clear();
    EXPECT_EQ(load(corrupt), nullptr);
    EXPECT_TRUE(jni.definitions.empty());
    EXPECT_EQ(jni.pendingName(), "");
    // A refused format goes to the JVM as it is, whose error is left for the caller.
    const Bytes refused = container(sample, {false, false, 75, 4});
    jni.defineFails = true;
    EXPECT_EQ(load(refused), nullptr);
    EXPECT_EQ(jni.definitions.back().bytes, refused);
    EXPECT_EQ(jni.pendingName(), "java/lang/ClassFormatError");
}

TEST_F(LoadClassTest, BelowBuild99TheRuntimeClassMonitorCoversTheWholeCall) {
    for (const jint build : {98, 0, -5, 99, 100}) {
        kelo::runtimeBuild = build;
        kelo::startMessageSent = false;
        jni.javaUnderMonitor.clear();
        EXPECT_NE(load(container(sample)), nullptr);
        const bool monitor = build < 99;
        EXPECT_EQ(jni.definitions.back().monitor, monitor ? &java.type : nullptr) << build;
        EXPECT_EQ(jni.javaUnderMonitor.size(), monitor ? 2u : 0u) << build;
        EXPECT_EQ(calls().back(), monitor ? "MonitorExit" : "ReleaseByteArrayElements");
    }
    // A runtime without a build number counts as build 0.
    kelo::runtimeBuild = -1;
    java.build.missing = true;
    EXPECT_NE(load(sample), nullptr);
    EXPECT_NE(jni.definitions.back().monitor, nullptr);
}

TEST_F(LoadClassTest, TheMonitorIsLeftWhenTheVersionGateThrows) {
    kelo::runtimeBuild = 98;
    jni.systemProperties["java.version"] = "10-ea";
    EXPECT_EQ(load(container(sample, {false, false, 75, 3, 0})), nullptr);
    EXPECT_TRUE(jni.definitions.empty());
    EXPECT_EQ(calls().back(), "MonitorExit");
}

TEST_F(LoadClassTest, ExceptionsOnTheWayAreSetAsideAndTheFirstIsLeft) {
    java.log.throws = "java/lang/IllegalStateException";
    EXPECT_NE(load(container(sample, {true})), nullptr);
    EXPECT_EQ(jni.pendingName(), "java/lang/IllegalStateException");
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, java.loader, nullptr,
                                                   jni.newByteArray(sample)),
              nullptr);
}

} // namespace
