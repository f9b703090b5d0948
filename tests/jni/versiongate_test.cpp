// The Java version gate: its bounds, and that it runs once per process, for the first container of
// class kind 0, ending the JVM when it fails.
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/context.h"
#include "jni/state.h"
#include "kbs/exceptions.h"

using namespace testdata;

namespace {

struct GateRow {
    const char* running;
    unsigned char minimum[4], maximum[4];
    const char* failure; // empty: passes
};

const GateRow gateRows[] = {
    {"1.6.0", {1, 6, 9, 0}, {}, ""}, // byte 2 is carried
    {"1.6.0", {1, 6, 0, 1}, {}, "Java Version too old, 1.6.1 required."},
    {"1.6.0", {1, 6, 0, 0}, {}, ""},
    {"1.7.0", {}, {1, 6, 5, 0}, "Java Version not supported. Maximum version is 1.6.0."},
    {"1.6.0_45", {}, {1, 6, 0, 0}, ""},
    {"1.8.0-ea", {1, 8, 0, 0}, {1, 8, 0, 0}, ""},
    {"1.7.0", {}, {0, 0, 200, 0}, ""}, // no maximum
    {"17.0.9", {17, 0, 0, 10}, {}, "Java Version too old, 17.0.10 required."},
    {"17.0.9", {}, {11, 0, 0, 99}, "Java Version not supported. Maximum version is 11.0.99."},
    {"2.256.0", {3, 0, 0, 0}, {3, 0, 0, 0}, ""}, // a component above 255 spills over
};

class GateTest : public BridgeTest, public ::testing::WithParamInterface<GateRow> {};

TEST_P(GateTest, Bounds) {
    const GateRow& row = GetParam();
    jni.systemProperties["java.version"] = row.running;
    kelo::_tbO context(env, runtime);
    std::copy_n(row.minimum, 4, context.header.minJavaVersion);
    std::copy_n(row.maximum, 4, context.header.maxJavaVersion);
    context.messageText = "Before. ";
    EXPECT_EQ(context.checkJavaVersion(), !*row.failure);
    EXPECT_EQ(context.messageText, std::string("Before. ") + row.failure);
}

INSTANTIATE_TEST_SUITE_P(Rows, GateTest, ::testing::ValuesIn(gateRows));

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
        jni.systemProperties["java.version"] = version;
        EXPECT_THROW(check(0, 1), kbs::Exception) << version;
    }
    jni.systemProperties["java.version"] = "17.0.9";
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
