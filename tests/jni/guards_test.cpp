#include "fake_jni.h"

#include "jni/guards.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(GuardsTest, EachAcquisitionIsReleasedOnceByItsLastOwner) {
    fake::Jni jni;
    const jobject object = jni.newObject(jni.addClass("Thing"));
    {
        kelo::UtfChars chars(jni.env, jni.newString("text"));
        const kelo::UtfChars moved(std::move(chars));
        EXPECT_STREQ(moved.chars(), "text");
        EXPECT_EQ(kelo::UtfChars(jni.env, nullptr).chars(), nullptr);

        kelo::LocalRef<jobject> local(jni.env, object);
        const kelo::LocalRef<jobject> movedLocal(std::move(local));

        kelo::MonitorGuard monitor(jni.env, object);
        const kelo::MonitorGuard movedMonitor(std::move(monitor));
        EXPECT_TRUE(movedMonitor.entered());
        EXPECT_FALSE(kelo::MonitorGuard(jni.env, nullptr).entered());
    }
    EXPECT_EQ(jni.calls, (fake::Strings{"GetStringUTFChars", "MonitorEnter", "MonitorEnter",
                                        "MonitorExit", "DeleteLocalRef", "ReleaseStringUTFChars"}));
    EXPECT_EQ(jni.violations, fake::Strings{});
}

} // namespace
