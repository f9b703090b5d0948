// iLoadClass against the fake JNI environment: what reaches DefineClass, the monitor,
// and the release of every resource on every path.
#include "classload_fixture.h"

#include "jni/natives.h"
#include "jni/state.h"

#include <algorithm>

using testdata::Bytes;
using testdata::ContainerShape;

namespace {

const Bytes sampleClass = testdata::minimalClassFile("a/B");

} // namespace

class LoadClassTest : public ClassLoadTest {
protected:
    LoadClassTest()
        : loaderClass(jni.addClass("java/lang/ClassLoader")), loader(jni.newObject(loaderClass)) {}

    jclass load(const Bytes& data, const std::string& name = "a/B") {
        return Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, loader, jni.newString(name),
                                                    jni.newByteArray(data));
    }

    // The JNI functions called, without the exception checks between them.
    fake::Strings callsWithoutChecks() const {
        fake::Strings calls;
        for (const std::string& call : jni.calls) {
            if (call != "ExceptionCheck" && call != "ExceptionOccurred" &&
                call != "ExceptionClear" && call != "DeleteLocalRef")
                calls.push_back(call);
        }
        return calls;
    }

    fake::Class& loaderClass;
    jobject loader;
};

TEST_F(LoadClassTest, PlainClassBytesAreDefinedUnchanged) {
    const jclass defined = load(sampleClass);
    EXPECT_NE(defined, nullptr);
    ASSERT_EQ(jni.definitions.size(), 1u);
    EXPECT_EQ(jni.definitions[0].name, "a/B");
    EXPECT_EQ(jni.definitions[0].loader, loader);
    EXPECT_EQ(jni.definitions[0].bytes, sampleClass);
    // Build 123: no monitor. The name is copied, the array pinned and released with mode 0.
    EXPECT_EQ(callsWithoutChecks(),
              (fake::Strings{"FindClass", "NewGlobalRef", "GetMethodID", "CallIntMethod",
                             "GetStringUTFLength", "GetStringUTFChars", "ReleaseStringUTFChars",
                             "GetArrayLength", "GetByteArrayElements", "DefineClass",
                             "ReleaseByteArrayElements"}));
    EXPECT_EQ(jni.java, fake::Strings{"getRvsJavaRuntimeBuild()"});
}

TEST_F(LoadClassTest, ContainersAreDecodedBeforeTheyAreDefined) {
    for (bool compressed : {false, true}) {
        ContainerShape shape;
        shape.compressed = compressed;
        shape.crc = true;
        jni.definitions.clear();
        EXPECT_NE(load(testdata::buildContainer(sampleClass, shape)), nullptr);
        ASSERT_EQ(jni.definitions.size(), 1u);
        EXPECT_EQ(jni.definitions[0].name, "a/B");
        EXPECT_EQ(jni.definitions[0].bytes, sampleClass);
    }
    EXPECT_EQ(jni.java, (fake::Strings{"getRvsJavaRuntimeBuild()", "log(800,Processing a/B)",
                                       "messageStart()", "log(800,Processing a/B)"}));
}

TEST_F(LoadClassTest, AContainerThatFailsDefinesNothing) {
    ContainerShape shape;
    shape.crc = true;
    Bytes bytes = testdata::buildContainer(sampleClass, shape);
    bytes[90] ^= 1;
    EXPECT_EQ(load(bytes), nullptr);
    EXPECT_TRUE(jni.definitions.empty());
    EXPECT_EQ(jni.pendingName(), "");

    bytes = testdata::buildContainer(sampleClass);
    testdata::put32(bytes, testdata::AtClassSize, 0xFFFFFFF0);
    EXPECT_EQ(load(bytes), nullptr);
    EXPECT_TRUE(jni.definitions.empty());
    EXPECT_EQ(jni.java.back(), "errorUnspecified(Decompression failed!)");
}

TEST_F(LoadClassTest, ARefusedFormatVersionGoesToTheJvmAsItIs) {
    ContainerShape shape;
    shape.formatVersion = 4;
    const Bytes bytes = testdata::buildContainer(sampleClass, shape);
    jni.defineFails = true;
    EXPECT_EQ(load(bytes), nullptr);
    ASSERT_EQ(jni.definitions.size(), 1u);
    EXPECT_EQ(jni.definitions[0].bytes, bytes);
    const std::string text = "File format incompatible: Found 4.75 - current is 3.75.";
    EXPECT_EQ(jni.java, (fake::Strings{"getRvsJavaRuntimeBuild()", "log(1000," + text + ")",
                                       "errorUnspecified(" + text + ")"}));
    // The JVM's ClassFormatError is left for the Java caller.
    EXPECT_EQ(jni.pendingName(), "java/lang/ClassFormatError");
    env->ExceptionClear();
}

TEST_F(LoadClassTest, BelowBuild99TheRuntimeClassMonitorIsHeldForTheWholeCall) {
    for (jint build : {98, 0, -5}) {
        kelo::runtimeBuild = build;
        jni.calls.clear();
        EXPECT_NE(load(testdata::buildContainer(sampleClass)), nullptr) << build;
        const fake::Strings calls = callsWithoutChecks();
        ASSERT_GE(calls.size(), 3u);
        EXPECT_EQ(calls[0], "GetObjectClass") << build;
        EXPECT_EQ(calls[1], "MonitorEnter") << build;
        EXPECT_EQ(calls.back(), "MonitorExit") << build;
        EXPECT_EQ(calls[calls.size() - 2], "ReleaseByteArrayElements") << build;
        EXPECT_EQ(jni.monitorDepth, 0);
    }
}

TEST_F(LoadClassTest, TheMonitorIsTheRuntimeClassAndCoversEveryCallback) {
    kelo::runtimeBuild = 98;
    EXPECT_NE(load(testdata::buildContainer(sampleClass)), nullptr);
    EXPECT_EQ(jni.javaUnderMonitor, (fake::Strings{"log(800,Processing a/B)", "messageStart()"}));
    ASSERT_EQ(jni.definitions.size(), 1u);
    EXPECT_EQ(jni.definitions[0].monitor, static_cast<const void*>(&runtimeClass));
    EXPECT_EQ(jni.monitorHeld, nullptr);
}

TEST_F(LoadClassTest, FromBuild99NoMonitorIsTaken) {
    for (jint build : {99, 100}) {
        kelo::runtimeBuild = build;
        jni.calls.clear();
        EXPECT_NE(load(sampleClass), nullptr);
        EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "MonitorEnter"), 0);
        EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "GetObjectClass"), 0);
        EXPECT_EQ(jni.definitions.back().monitor, nullptr);
    }
}

TEST_F(LoadClassTest, ARuntimeWithoutABuildNumberTakesTheMonitor) {
    runtimeBuild.missing = true;
    EXPECT_NE(load(sampleClass), nullptr);
    EXPECT_EQ(kelo::runtimeBuild, 0);
    EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "MonitorEnter"), 1);
    EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "MonitorExit"), 1);
}

TEST_F(LoadClassTest, TheMonitorIsLeftWhenTheVersionGateThrows) {
    kelo::runtimeBuild = 98;
    jni.systemProperties["java.version"] = "10-ea";
    ContainerShape shape;
    shape.classKind = 0;
    EXPECT_EQ(load(testdata::buildContainer(sampleClass, shape)), nullptr);
    EXPECT_TRUE(jni.definitions.empty());
    EXPECT_EQ(jni.monitorDepth, 0);
    EXPECT_EQ(jni.heldArrayElements, 0);
    EXPECT_EQ(jni.heldUtfChars, 0);
    EXPECT_EQ(callsWithoutChecks().back(), "MonitorExit");
    EXPECT_TRUE(kelo::versionGatePending);
}

TEST_F(LoadClassTest, AFailedVersionGateEndsTheJvmAndDefinesNothing) {
    jni.systemProperties["java.version"] = "1.6.0";
    ContainerShape shape;
    shape.classKind = 0;
    shape.minJava[0] = 1;
    shape.minJava[1] = 7;
    const Bytes bytes = testdata::buildContainer(sampleClass, shape);
    jni.defineFails = true;
    EXPECT_EQ(load(bytes), nullptr);
    const std::string text = "Java Version too old, 1.7.0 required.";
    EXPECT_EQ(jni.java, (fake::Strings{"getRvsJavaRuntimeBuild()", "getProperty(java.version)",
                                       "log(1000," + text + ")", "errorUnspecified(" + text + ")",
                                       "exit(1)"}));
    // exit came back (it cannot in a JVM): the container counts as refused and goes as it is.
    ASSERT_EQ(jni.definitions.size(), 1u);
    EXPECT_EQ(jni.definitions[0].bytes, bytes);
    EXPECT_EQ(jni.pendingName(), "java/lang/ClassFormatError");
    env->ExceptionClear();
}

TEST_F(LoadClassTest, NullNameOrDataAnswerNullAtOnce) {
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, loader, nullptr,
                                                   jni.newByteArray(sampleClass)),
              nullptr);
    EXPECT_EQ(
        Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, loader, jni.newString("a/B"), nullptr),
        nullptr);
    EXPECT_EQ(jni.calls, fake::Strings());
}

TEST_F(LoadClassTest, ExceptionsRaisedOnTheWayAreSetAsideAndTheFirstIsLeft) {
    // The log method throws: DefineClass must still not meet a pending exception.
    log.throws = "java/lang/IllegalStateException";
    EXPECT_NE(load(testdata::buildContainer(sampleClass)), nullptr);
    EXPECT_EQ(jni.definitions.size(), 1u);
    EXPECT_EQ(jni.pendingName(), "java/lang/IllegalStateException");
    env->ExceptionClear();
}

TEST_F(LoadClassTest, TheNameGoesToDefineClassAsGiven) {
    const std::string name = "p/q/Z\xC3\xBCrich$Inner";
    EXPECT_NE(load(testdata::minimalClassFile(name), name), nullptr);
    ASSERT_EQ(jni.definitions.size(), 1u);
    EXPECT_EQ(jni.definitions[0].name, name);
}

TEST_F(LoadClassTest, EveryTruncationOfAContainerThroughILoadClass) {
    ContainerShape shape;
    shape.compressed = true;
    const Bytes container = testdata::buildContainer(sampleClass, shape);
    jni.defineFails = true;
    for (std::size_t length = 0; length <= container.size(); ++length) {
        jni.definitions.clear();
        const jclass defined = load(Bytes(container.begin(), container.begin() + length));
        env->ExceptionClear();
        EXPECT_EQ(defined, nullptr);
        // Short of a header: handed to the JVM as they are; a complete container: decoded.
        if (length < 75 || length == container.size())
            EXPECT_EQ(jni.definitions.size(), 1u) << length;
        else
            EXPECT_TRUE(jni.definitions.empty()) << length;
        EXPECT_EQ(jni.heldArrayElements, 0);
    }
}
