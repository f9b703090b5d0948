// Calls into Java: the log threshold, error reports bracketed by the native worker, lookups that
// fail, and the references iCleanUp drops.
#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/context.h"
#include "jni/natives.h"
#include "jni/state.h"

#include <limits>

namespace {

using fake::Strings;

class CallbackTest : public BridgeTest {
protected:
    void suspensionWithWorker() {
        kelo::threadSuspension = true;
        Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker);
    }
    jint report(const char* text) { return context.sendMessage(kelo::ErrorUnspecified, text); }

    kelo::_tbO context{env, runtime};
};

TEST_F(CallbackTest, JavasAnswerIsTheThresholdOfTheNextLine) {
    java.log.result = 900;
    EXPECT_TRUE(context.log(kelo::LogInfo, "sent"));
    EXPECT_TRUE(context.log(kelo::LogInfo, "dropped"));
    java.log.result = -5;
    EXPECT_TRUE(context.log(900, "equal"));
    context.log(-5, "equal again");
    EXPECT_EQ(jni.java, (Strings{"log(800,sent)", "log(900,equal)", "log(-5,equal again)"}));
    // A missing log method switches logging off for good, and its lookup error is cleared.
    java.log.missing = true;
    EXPECT_FALSE(context.log(kelo::LogError, "lost"));
    EXPECT_EQ(kelo::logThreshold, std::numeric_limits<jint>::max());
    EXPECT_EQ(jni.pending, nullptr);
}

TEST_F(CallbackTest, ANullCallerNeverCallsJava) {
    suspensionWithWorker();
    jni.calls.clear();
    kelo::_tbO silent(env, nullptr);
    EXPECT_TRUE(silent.log(kelo::LogError, "lost"));
    EXPECT_EQ(silent.sendMessage(kelo::ErrorUnspecified, "lost"), 0);
    EXPECT_EQ(silent.queryRuntimeBuild(), 0);
    EXPECT_EQ(jni.calls, Strings());
}

TEST_F(CallbackTest, ErrorsAreBracketedOnceSuspensionIsOn) {
    EXPECT_EQ(report("before"), 7);
    suspensionWithWorker();
    EXPECT_EQ(report("after"), 7);
    java.errorUnspecified.throws = "ReportFailed";
    java.resumeThreads.throws = "ResumeFailed";
    report("throws");
    EXPECT_EQ(jni.java, (Strings{"errorUnspecified(before)", "suspendThreads()",
                                 "errorUnspecified(after)", "resumeThreads()", "suspendThreads()",
                                 "errorUnspecified(throws)", "resumeThreads()"}));
    EXPECT_EQ(jni.pendingName(), "ReportFailed");
}

TEST_F(CallbackTest, WithoutWorkerOrItsMethodsTheErrorIsStillSent) {
    kelo::threadSuspension = true;
    EXPECT_EQ(report("no worker"), 7);
    java.suspendThreads.missing = true;
    suspensionWithWorker();
    EXPECT_EQ(report("no suspend"), 7);
    EXPECT_EQ(jni.java, (Strings{"errorUnspecified(no worker)", "errorUnspecified(no suspend)",
                                 "resumeThreads()"}));
    EXPECT_EQ(jni.pendingName(), "java/lang/NoSuchMethodError");
}

TEST_F(CallbackTest, MissingMethods) {
    java.messageStart.missing = true;
    EXPECT_EQ(context.sendMessage(kelo::MessageStart, ""), 0);
    EXPECT_EQ(jni.pending, nullptr);
    java.errorUnspecified.missing = true;
    EXPECT_EQ(report("lost"), 0);
    EXPECT_EQ(jni.java,
              Strings{"log(1000,Method 'com.kelo.rvs.Runtime.errorUnspecified' not found!)"});
    EXPECT_EQ(jni.pendingName(), "java/lang/NoSuchMethodError");
    jni.pending = nullptr;
    java.build.missing = true;
    EXPECT_EQ(context.queryRuntimeBuild(), 0);
    EXPECT_EQ(kelo::runtimeBuild, 0);
}

TEST_F(CallbackTest, TheRuntimeClassIsRetriedUntilFoundAndThenKept) {
    java.type.findable = false;
    EXPECT_EQ(kelo::runtimeClass(env).get(), nullptr);
    EXPECT_EQ(jni.pending, nullptr);
    java.type.findable = true;
    EXPECT_NE(kelo::runtimeClass(env).get(), nullptr);
    EXPECT_NE(kelo::runtimeClass(env).get(), nullptr);
    EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "FindClass"), 2);
}

TEST_F(CallbackTest, CleanUpDropsTheReferencesInOrderAndTheFirstWorkerStaysUntilThen) {
    const jobject hookRuntime = jni.newObject(java.type);
    const jobject second = jni.newObject(java.workerClass);
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker);
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, second);
    kelo::hookRuntimeRef.adopt(env, hookRuntime);
    kelo::runtimeClass(env);
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime), 0);
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime), 0);
    EXPECT_EQ(jni.deletedGlobalRefs, (std::vector<const void*>{&java.type, hookRuntime, worker}));
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, second);
    EXPECT_EQ(kelo::nativeWorkerRef.local(env).get(), second);
}

} // namespace
