#include "fake_jni.h"

#include "jni/context.h"
#include "jni/state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

using fake::Strings;

class LogTest : public BridgeTest {
protected:
    kelo::_tbO context{env, runtime};
};

TEST_F(LogTest, ANewContextHoldsACurrentHeaderAndCallsNothing) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&context.header);
    EXPECT_EQ(std::memcmp(bytes, "KELOCLSF\0\0\3\0\x4B\0", 14), 0);
    EXPECT_EQ(bytes[42], 0);
    for (std::size_t at = 59; at < sizeof context.header; ++at)
        EXPECT_EQ(bytes[at], 0) << at;
    EXPECT_EQ(context.header.headerLength.value(), 75u);
    EXPECT_TRUE(jni.calls.empty());
}

TEST_F(LogTest, JavasAnswerIsTheThresholdOfTheNextLine) {
    log.result = 900;
    EXPECT_TRUE(context.log(kelo::LogInfo, "Processing a/B"));
    EXPECT_EQ(kelo::logThreshold, 900);
    const std::size_t callsBefore = jni.calls.size();
    EXPECT_TRUE(context.log(kelo::LogInfo, "dropped"));
    EXPECT_EQ(jni.calls.size(), callsBefore);
    EXPECT_TRUE(context.log(900, "equal"));

    log.result = -5;
    EXPECT_TRUE(context.log(kelo::LogError, "failed"));
    context.log(0, "zero");
    context.log(-5, "equal again");
    EXPECT_EQ(jni.java, (Strings{"log(800,Processing a/B)", "log(900,equal)", "log(1000,failed)",
                                 "log(0,zero)", "log(-5,equal again)"}));
}

TEST_F(LogTest, ANullCallerNeverCallsJava) {
    kelo::threadSuspension = true;
    kelo::nativeWorkerRef.adopt(env, worker);
    jni.calls.clear();
    kelo::_tbO silent(env, nullptr);
    EXPECT_TRUE(silent.log(kelo::LogError, "lost"));
    EXPECT_EQ(silent.sendMessage(kelo::ErrorUnspecified, "lost"), 0);
    EXPECT_EQ(silent.queryRuntimeBuild(), 0);
    EXPECT_EQ(kelo::runtimeBuild, -1);
    EXPECT_TRUE(jni.calls.empty());
}

TEST_F(LogTest, AMissingRuntimeClassSwitchesLoggingOffForGood) {
    runtimeClass.findable = false;
    EXPECT_FALSE(context.log(kelo::LogError, "lost"));
    EXPECT_EQ(kelo::logThreshold, std::numeric_limits<jint>::max());
    // The lookup's error must not break the caller's next JNI call.
    EXPECT_EQ(jni.pending, nullptr);

    runtimeClass.findable = true;
    jni.calls.clear();
    EXPECT_TRUE(context.log(kelo::LogError, "still lost"));
    EXPECT_TRUE(jni.calls.empty());
}

TEST_F(LogTest, AMissingLogMethodCountsAsAMissingClass) {
    log.missing = true;
    EXPECT_FALSE(context.log(kelo::LogError, "lost"));
    EXPECT_EQ(kelo::logThreshold, std::numeric_limits<jint>::max());
    EXPECT_EQ(jni.pending, nullptr);
}

TEST_F(LogTest, ExceptionsStayPendingForTheJavaCaller) {
    // Java's log throws: its answer still counts and its exception is left pending.
    log.throws = "LogFailed";
    log.result = 700;
    EXPECT_TRUE(context.log(kelo::LogInfo, "first"));
    EXPECT_EQ(kelo::logThreshold, 700);
    const fake::Object* thrown = jni.pending;
    ASSERT_NE(thrown, nullptr);

    // A line logged with it pending still goes out, and the first exception is the one kept.
    EXPECT_TRUE(context.log(kelo::LogInfo, "second"));
    EXPECT_EQ(jni.java.size(), 2u);
    EXPECT_EQ(jni.pending, thrown);
}

} // namespace
