#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/natives.h"
#include "jni/state.h"

#include <gtest/gtest.h>

namespace {

using fake::Strings;

using NativesTest = BridgeTest;

TEST_F(NativesTest, GetVersionHandsTheSevenNumbersToTheHolder) {
    fake::Class& holderClass = jni.addClass("Holder");
    holderClass.method("set", "(IIIIIII)V");
    const jobject holder = jni.newObject(holderClass);

    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iGetVersion(env, runtime, holder), 0);
    EXPECT_EQ(jni.java, Strings{"set(9,0,1220,500,2013,10,28)"});
}

TEST_F(NativesTest, GetVersionWithoutAUsableHolder) {
    const jobject holder = jni.newObject(jni.addClass("Holder"));

    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iGetVersion(env, runtime, nullptr), 1);
    // The failed lookup is what Java sees.
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iGetVersion(env, runtime, holder), 2);
    EXPECT_EQ(jni.pendingName(), "java/lang/NoSuchMethodError");
    jni.pending = nullptr;
    jni.objectClassFails = true;
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iGetVersion(env, runtime, holder), 1);
    EXPECT_TRUE(jni.java.empty());
}

TEST_F(NativesTest, SetApplicationName) {
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iSetApplicationName(env, runtime, jni.newString("Demo")),
              0);
    EXPECT_EQ(kelo::applicationName, "Demo");
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iSetApplicationName(env, runtime, nullptr), 1);
    EXPECT_EQ(kelo::applicationName, "Demo");
    EXPECT_EQ(jni.calls, (Strings{"GetStringUTFChars", "ReleaseStringUTFChars"}));
}

TEST_F(NativesTest, TheFirstWorkerStaysUntilCleanUp) {
    const jobject second = jni.newObject(workerClass);

    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker), 0);
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, second), 0);
    EXPECT_EQ(kelo::nativeWorkerRef.local(env).get(), worker);
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime), 0);
    EXPECT_EQ(kelo::nativeWorkerRef.local(env).get(), nullptr);
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, second), 0);
    EXPECT_EQ(kelo::nativeWorkerRef.local(env).get(), second);
}

TEST_F(NativesTest, CleanUpDropsTheReferencesInOrderAndOnlyOnce) {
    const jobject hookRuntime = jni.newObject(runtimeClass);
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker);
    kelo::hookRuntimeRef.adopt(env, hookRuntime);
    ASSERT_NE(kelo::runtimeClass(env).get(), nullptr);
    kelo::runtimeBuild = 42;
    jni.calls.clear();

    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime), 0);
    EXPECT_EQ(Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime), 0);
    EXPECT_EQ(jni.calls, (Strings{"DeleteGlobalRef", "DeleteGlobalRef", "DeleteGlobalRef"}));
    EXPECT_EQ(jni.deletedGlobalRefs,
              (std::vector<const void*>{&runtimeClass, hookRuntime, worker}));
    EXPECT_TRUE(jni.globalRefs.empty());
    EXPECT_EQ(kelo::runtimeBuild, 42);
    // The runtime class is resolved again.
    jni.calls.clear();
    EXPECT_NE(kelo::runtimeClass(env).get(), nullptr);
    EXPECT_EQ(jni.calls, (Strings{"FindClass", "NewGlobalRef", "DeleteLocalRef"}));
}

} // namespace
