#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/context.h"
#include "jni/state.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using fake::Strings;

class CallbacksTest : public BridgeTest {
protected:
    void suspensionWithWorker() {
        kelo::threadSuspension = true;
        kelo::nativeWorkerRef.adopt(env, worker);
    }

    kelo::_tbO context{env, runtime};
};

TEST_F(CallbacksTest, TheBuildNumberIsAskedOnce) {
    EXPECT_EQ(context.queryRuntimeBuild(), 123);
    EXPECT_EQ(kelo::_tbO(env, runtime).queryRuntimeBuild(), 123);
    EXPECT_EQ(jni.java, Strings{"getRvsJavaRuntimeBuild()"});
}

TEST_F(CallbacksTest, WithoutTheBuildMethodTheBuildIsZero) {
    runtimeBuild.missing = true;
    EXPECT_EQ(context.queryRuntimeBuild(), 0);
    EXPECT_EQ(kelo::runtimeBuild, 0);
    EXPECT_EQ(jni.pending, nullptr);
}

TEST_F(CallbacksTest, ErrorsAreBracketedOnceSuspensionIsOn) {
    kelo::nativeWorkerRef.adopt(env, worker);
    EXPECT_EQ(context.sendMessage(kelo::ErrorUnspecified, "Decompression failed!"), 7);
    EXPECT_EQ(jni.java, Strings{"errorUnspecified(Decompression failed!)"});

    suspensionWithWorker();
    jni.java.clear();
    EXPECT_EQ(context.sendMessage(kelo::ErrorUnspecified, "CRC error!"), 7);
    EXPECT_EQ(jni.java,
              (Strings{"suspendThreads()", "errorUnspecified(CRC error!)", "resumeThreads()"}));
}

TEST_F(CallbacksTest, WorkerAnswers) {
    EXPECT_TRUE(context.callSuspendThreads()); // suspension off: no call at all
    kelo::threadSuspension = true;
    EXPECT_FALSE(context.callSuspendThreads()); // no worker

    suspensionWithWorker();
    EXPECT_TRUE(context.callSuspendThreads());
    resumeThreads.result = 1;
    EXPECT_FALSE(context.callResumeThreads());
    resumeThreads.result = 0;
    resumeThreads.throws = "ResumeFailed";
    EXPECT_FALSE(context.callResumeThreads());
    EXPECT_EQ(jni.pendingName(), "ResumeFailed");
    EXPECT_EQ(jni.java, (Strings{"suspendThreads()", "resumeThreads()", "resumeThreads()"}));
}

TEST_F(CallbacksTest, WithoutWorkerOrWorkerMethodTheErrorIsStillSent) {
    kelo::threadSuspension = true;
    EXPECT_EQ(context.sendMessage(kelo::ErrorUnspecified, "no worker"), 7);

    suspendThreads.missing = true;
    suspensionWithWorker();
    EXPECT_EQ(context.sendMessage(kelo::ErrorUnspecified, "no suspend"), 7);
    EXPECT_EQ(jni.java, (Strings{"errorUnspecified(no worker)", "errorUnspecified(no suspend)",
                                 "resumeThreads()"}));
    // The failed lookup is what the Java caller sees.
    EXPECT_EQ(jni.pendingName(), "java/lang/NoSuchMethodError");
}

TEST_F(CallbacksTest, ResumeFollowsAnErrorReportThatThrows) {
    suspensionWithWorker();
    errorUnspecified.throws = "ReportFailed";
    resumeThreads.throws = "ResumeFailed";
    context.sendMessage(kelo::ErrorUnspecified, "bad");
    EXPECT_EQ(jni.java, (Strings{"suspendThreads()", "errorUnspecified(bad)", "resumeThreads()"}));
    EXPECT_EQ(jni.pendingName(), "ReportFailed");
}

TEST_F(CallbacksTest, AMissingStartMethodIsSilent) {
    EXPECT_EQ(context.sendMessage(kelo::MessageStart, ""), 5);
    messageStart.missing = true;
    EXPECT_EQ(context.sendMessage(kelo::MessageStart, ""), 0);
    EXPECT_EQ(jni.pending, nullptr);
    EXPECT_EQ(jni.java, Strings{"messageStart()"});
}

TEST_F(CallbacksTest, AMissingErrorMethodIsLogged) {
    errorUnspecified.missing = true;
    suspensionWithWorker();
    EXPECT_EQ(context.sendMessage(kelo::ErrorUnspecified, "lost"), 0);
    EXPECT_EQ(jni.java,
              Strings{"log(1000,Method 'com.kelo.rvs.Runtime.errorUnspecified' not found!)"});
    EXPECT_EQ(jni.pendingName(), "java/lang/NoSuchMethodError");
}

TEST_F(CallbacksTest, TheRuntimeClassIsResolvedOnceFoundAndRetriedUntilThen) {
    runtimeClass.findable = false;
    EXPECT_EQ(kelo::runtimeClass(env).get(), nullptr);
    EXPECT_EQ(jni.pending, nullptr);
    runtimeClass.findable = true;
    const jclass found = kelo::runtimeClass(env).get();
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(kelo::runtimeClass(env).get(), found);
    EXPECT_EQ(std::count(jni.calls.begin(), jni.calls.end(), "FindClass"), 2);
}

} // namespace
