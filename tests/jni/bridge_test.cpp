// Calls into Java and the references they go through: a missing log method, the hook's set-ups and
// what iCleanUp drops, the hook's report of pieces for another name, the monitor of old runtimes
// and the Java version gate.
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/context.h"
#include "jni/state.h"
#include "kbs/exceptions.h"

#include <limits>

using namespace testdata;
using fake::Strings;

namespace {

const Bytes sample = classFile("a/B");

// The threshold Java answers is the JVM tests'; a runtime class without the method is not.
TEST_F(BridgeTest, AMissingLogMethodEndsLoggingForGoodWithItsLookupErrorCleared) {
    java.log.missing = true;
    EXPECT_FALSE(kelo::_tbO(env, runtime).log(kelo::LogError, "lost"));
    EXPECT_EQ(kelo::logThreshold, std::numeric_limits<jint>::max());
    EXPECT_EQ(jni.pending, nullptr);
}

struct SetUpRow {
    const char *mode, *refuse;
    jint answer;
    const char *calls, *report; // the JVM's calls; what errorUnspecified receives
};

// One tool environment for the process, asked for until the JVM gives it: a set-up run again, also
// after iCleanUp, registers on it and reports to its own runtime; one cut short by an exception
// answers -1, as the hook may not be registered. iCleanUp drops the references in order, and the
// first worker stays until then.
TEST_F(BridgeTest, HookSetUpsShareOneToolEnvironmentAndCleanUpDropsTheReferences) {
    // clang-format off
    const SetUpRow rows[] = {
        {"P", "", 3, "GetEnv GetEnv ", "Interface not available"},
        {"t", "GetEnv", 1, "GetEnv ", "Interface not available"},
        {"T", "Callbacks", -1, "GetEnv Callbacks(35) ", "JVMTI error."},
        {"T", "Enable", -1, "Callbacks(35) Enable(1,54) ", "JVMTI Error."},
        {"T", "bad_alloc", -1, "Callbacks(35) ", ""},
        {"TT", "", 1, "", ""},
        {"x", "", 2, "", ""},
        {"T", "", 0, "Callbacks(35) Enable(1,54) ", ""},
    };
    // clang-format on
    // The runtime class is looked up until it is found, its lookup error cleared.
    java.type.findable = false;
    EXPECT_EQ(kelo::runtimeClass(env).get(), nullptr);
    EXPECT_EQ(jni.pending, nullptr);
    java.type.findable = true;
    fake::Tool tool;
    jobject caller = nullptr;
    for (const SetUpRow& row : rows) {
        Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime);
        caller = jni.newObject(java.type);
        tool.refuse = row.refuse;
        EXPECT_EQ(Java_com_kelo_rvs_Runtime_iSetNativeHook(env, caller, jni.newString(row.mode)),
                  row.answer)
            << row.mode << row.refuse;
        EXPECT_EQ(std::exchange(tool.calls, {}), row.calls) << row.mode << row.refuse;
        EXPECT_EQ(
            std::exchange(jni.java, {}),
            Strings(*row.report ? 1 : 0, "errorUnspecified(" + std::string(row.report) + ")"));
        EXPECT_EQ(kelo::hookRuntimeRef.local(env).get(), row.answer ? nullptr : caller);
    }
    const jobject second = jni.newObject(java.workerClass);
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker);
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, second);
    jni.deletedGlobalRefs.clear();
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime), 0);
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime), 0);
    EXPECT_EQ(jni.deletedGlobalRefs, (std::vector<const void*>{&java.type, caller, worker}));
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, second);
    EXPECT_EQ(kelo::nativeWorkerRef.local(env).get(), second);
}

// Only a class with tags but none of its own first piece is logged, with both names; the name read
// from a damaged or unterminated tag is bounded and never read past the data.
TEST_F(BridgeTest, TheHookLogsPiecesOnlyForAnotherName) {
    const Bytes packed = container(sample);
    const std::string text = base64(std::string(packed.begin(), packed.end()));
    // What class a/B holds; whether its container reaches the JVM (else the class stays as it is);
    // the other name logged, if any.
    const std::string other = " but none for a/B; was it packed under another name?";
    const std::tuple<Strings, bool, std::string> rows[] = {
        {{chunk("WEB-INF/classes/a/B", 0, text)}, false, " for WEB-INF/classes/a/B" + other},
        {{}, false, ""},
        {{chunk("x/Y", 0, text), chunk("a/B", 0, text)}, true, ""},
        {{"<KeloClassData#WEB-INF/cla"}, false, " for WEB-INF/cla" + other},
        {{"<KeloClassData#\n" + std::string(300, 'x')},
         false,
         " for ?" + std::string(255, 'x') + "..." + other},
        {{"<KeloClassData#a/B#00000>TWFu"}, false, ", but no whole piece 0 of its container"},
    };
    kelo::hookRuntimeRef.adopt(env, runtime);
    kelo::runtimeClass(env);
    kelo::logThreshold = java.log.result = kelo::LogError;
    kelo::startMessageSent = true;
    java.log.throws = "java/lang/IllegalStateException";
    fake::Tool tool;
    for (const auto& [texts, decoded, shown] : rows) {
        EXPECT_EQ(tool.hook(env, nullptr, "a/B", classFile("a/B", texts)).has_value(), decoded);
        EXPECT_EQ(std::exchange(jni.java, {}),
                  Strings(shown.empty() ? 0 : 1,
                          "log(1000,Class a/B carries embedded pieces" + shown + ")"));
        EXPECT_EQ(std::exchange(jni.pending, nullptr), nullptr);
    }
}

TEST_F(BridgeTest, BelowBuild99TheRuntimeClassMonitorCoversILoadClassOnEveryPath) {
    for (const jint build : {98, 99}) {
        kelo::runtimeBuild = build;
        EXPECT_EQ(load(container(sample)).monitor, build < 99 ? &java.type : nullptr) << build;
    }
    // A runtime without a build number counts as build 0; a gate that throws leaves the monitor.
    kelo::runtimeBuild = -1;
    java.build.missing = true;
    EXPECT_NE(load(sample).monitor, nullptr);
    jni.javaVersion = "10-ea";
    EXPECT_EQ(load(container(sample, {false, false, 75, 3, 0})).monitor, nullptr);
    EXPECT_EQ(jni.monitorDepth, 0);
}

struct GateRow {
    const char* running;
    unsigned char minimum[4], maximum[4];
    const char* failure; // empty: passes
};

// Byte 2 of a bound is carried, neither compared nor shown; a zero maximum is none; a version's
// suffix is ignored, and a component above 255 spills into the next.
TEST_F(BridgeTest, TheGateComparesTheRunningVersionWithTheBounds) {
    const GateRow rows[] = {
        {"1.6.0", {1, 6, 9, 0}, {}, ""},
        {"1.6.0", {1, 6, 0, 1}, {}, "Java Version too old, 1.6.1 required."},
        {"1.6.0", {1, 6, 0, 0}, {}, ""},
        {"1.7.0", {}, {1, 6, 5, 0}, "Java Version not supported. Maximum version is 1.6.0."},
        {"1.6.0_45", {}, {1, 6, 0, 0}, ""},
        {"1.7.0", {}, {0, 0, 200, 0}, ""},
        {"17.0.9", {}, {11, 0, 0, 99}, "Java Version not supported. Maximum version is 11.0.99."},
        {"2.256.0", {3, 0, 0, 0}, {3, 0, 0, 0}, ""},
    };
    for (const GateRow& row : rows) {
        jni.javaVersion = row.running;
        kelo::_tbO context(env, runtime);
        std::copy_n(row.minimum, 4, context.header.minJavaVersion);
        std::copy_n(row.maximum, 4, context.header.maxJavaVersion);
        EXPECT_EQ(context.checkJavaVersion(), !*row.failure) << row.running;
        EXPECT_EQ(context.messageText, row.failure) << row.running;
    }
}

TEST_F(BridgeTest, TheGateRunsOnceForKind0AndEndsTheJvmWhenItFails) {
    const auto check = [this](unsigned char kind, unsigned char minimumMajor) {
        Bytes bytes = container(classFile("a/B"), {false, false, 75, 3, kind});
        bytes[AtMinJava] = minimumMajor;
        const bool passed =
            kelo::_tbO(env, runtime)
                .checkContainer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        return std::make_pair(passed, std::exchange(jni.java, {}));
    };
    const std::string property = "getProperty(java.version)";
    EXPECT_EQ(check(1, 99), std::make_pair(true, fake::Strings()));
    for (const char* version : {"1.7", "10-ea", ""}) {
        jni.javaVersion = version;
        EXPECT_THROW(check(0, 1), kbs::Exception) << version;
    }
    jni.javaVersion = "17.0.9";
    jni.java.clear();
    java.errorUnspecified.throws = "java/lang/IllegalStateException";
    const std::string text = "Java Version too old, 18.0.0 required.";
    EXPECT_EQ(check(0, 18),
              std::make_pair(false, fake::Strings{property, "log(1000," + text + ")",
                                                  "errorUnspecified(" + text + ")", "exit(1)"}));
    EXPECT_EQ(check(0, 1), std::make_pair(true, fake::Strings{property}));
    EXPECT_EQ(check(0, 99), std::make_pair(true, fake::Strings()));
}

} // namespace
