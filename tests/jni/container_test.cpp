// checkContainer and the Java version gate (Parts 2.1 and 2.2).
#include "classload_fixture.h"

#include "jni/classload/versiongate.h"
#include "jni/natives.h"
#include "jni/state.h"
#include "kbs/exceptions.h"

#include <cstring>

using testdata::Bytes;
using testdata::ContainerShape;

namespace {

const Bytes sampleClass = testdata::minimalClassFile("a/B");

Bytes container(const ContainerShape& shape = {}) {
    return testdata::buildContainer(sampleClass, shape);
}

ContainerShape gated(std::initializer_list<unsigned char> minimum,
                     std::initializer_list<unsigned char> maximum = {0, 0, 0, 0}) {
    ContainerShape shape;
    shape.classKind = 0;
    std::copy(minimum.begin(), minimum.end(), shape.minJava);
    std::copy(maximum.begin(), maximum.end(), shape.maxJava);
    return shape;
}

} // namespace

TEST_F(ClassLoadTest, FewerThan75BytesAreNoContainer) {
    Bytes bytes = container();
    bytes.resize(74);
    EXPECT_FALSE(check(bytes));
    EXPECT_EQ(jni.calls, fake::Strings());
    bytes.push_back(0);
    EXPECT_TRUE(check(bytes));
    EXPECT_EQ(context.payloadLength, 0u);
}

TEST_F(ClassLoadTest, TheSignatureIsExact) {
    Bytes bytes = container();
    std::memcpy(bytes.data(), "kelocLSF", 8);
    EXPECT_FALSE(check(bytes));
    bytes = container();
    bytes[7] = 'f';
    EXPECT_FALSE(check(bytes));
    EXPECT_EQ(jni.calls, fake::Strings());
    // A class file is no container.
    Bytes plain = sampleClass;
    plain.resize(100, 0);
    EXPECT_FALSE(check(plain));
}

TEST_F(ClassLoadTest, TheHeaderIsCopiedAndThePayloadFollowsIt) {
    const Bytes bytes = container();
    ASSERT_TRUE(check(bytes));
    EXPECT_EQ(std::memcmp(&context.header, bytes.data(), 75), 0);
    EXPECT_EQ(context.payload, held.get() + 75);
    EXPECT_EQ(context.payloadLength, bytes.size() - 75);
    EXPECT_EQ(context.header.classSize.value(), sampleClass.size());
    EXPECT_EQ(jni.calls, fake::Strings());
}

TEST_F(ClassLoadTest, ALongerHeaderCopies75BytesAndPlacesThePayloadAfterIt) {
    ContainerShape shape;
    shape.headerLength = 200;
    Bytes bytes = container(shape);
    bytes[100] = 0x55; // beyond the record
    ASSERT_TRUE(check(bytes));
    EXPECT_EQ(std::memcmp(&context.header, bytes.data(), 75), 0);
    EXPECT_EQ(context.payload, held.get() + 200);
    EXPECT_EQ(context.payloadLength, bytes.size() - 200);
}

TEST_F(ClassLoadTest, AShortHeaderKeepsTheTemplateBeyondIt) {
    ContainerShape shape;
    shape.headerLength = 13;
    shape.formatVersion = 2;
    shape.classKind = 7;
    Bytes bytes = container(shape);
    bytes.resize(std::max<std::size_t>(bytes.size(), 80), 0xEE);
    ASSERT_TRUE(check(bytes));
    EXPECT_EQ(std::memcmp(context.header.signature, "KELOCLSF", 8), 0);
    EXPECT_EQ(context.header.classKind, 7);
    EXPECT_EQ(context.header.formatVersion.value(), 2u);
    EXPECT_EQ(context.header.headerLength.value(), 13u); // low byte copied, high byte template 0
    EXPECT_EQ(context.header.classSize.value(), 0u);
    EXPECT_EQ(context.header.packedLength.value(), 0u);
    EXPECT_EQ(context.header.options, 0);
    EXPECT_EQ(context.payload, held.get() + 13);
}

TEST_F(ClassLoadTest, AShortHeaderWithoutTheVersionKeepsVersion3) {
    Bytes bytes = container();
    testdata::put16(bytes, testdata::AtFormatVersion, 9);
    testdata::put16(bytes, testdata::AtHeaderLength, 10);
    ASSERT_TRUE(check(bytes));
    EXPECT_EQ(context.header.formatVersion.value(), 3u);
    EXPECT_EQ(context.header.headerLength.value(), 75u);
    EXPECT_EQ(context.payload, held.get() + 10);
}

TEST_F(ClassLoadTest, AHeaderLengthPastTheEndLeavesAnEmptyPayloadAtTheEnd) {
    Bytes bytes = container();
    testdata::put16(bytes, testdata::AtHeaderLength, 0xFFFF);
    ASSERT_TRUE(check(bytes));
    EXPECT_EQ(context.payload, held.get() + bytes.size());
    EXPECT_EQ(context.payloadLength, 0u);
}

TEST_F(ClassLoadTest, FormatVersions1To3AreAccepted) {
    for (int version : {1, 2, 3}) {
        ContainerShape shape;
        shape.formatVersion = static_cast<std::uint16_t>(version);
        EXPECT_TRUE(check(container(shape))) << version;
    }
    EXPECT_EQ(jni.java, fake::Strings());
}

TEST_F(ClassLoadTest, FormatVersion0IsTooOld) {
    ContainerShape shape;
    shape.formatVersion = 0;
    EXPECT_FALSE(check(container(shape)));
    const std::string text = "File format too old: Found 0.75 - current is 3.75.";
    EXPECT_EQ(takeJava(),
              (fake::Strings{"log(1000," + text + ")", "errorUnspecified(" + text + ")"}));
}

TEST_F(ClassLoadTest, FormatVersionsAbove3AreIncompatible) {
    ContainerShape shape;
    shape.formatVersion = 4;
    shape.headerLength = 80;
    EXPECT_FALSE(check(container(shape)));
    const std::string text = "File format incompatible: Found 4.80 - current is 3.75.";
    EXPECT_EQ(takeJava(),
              (fake::Strings{"log(1000," + text + ")", "errorUnspecified(" + text + ")"}));

    shape.formatVersion = 65535;
    shape.headerLength = 75;
    EXPECT_FALSE(check(container(shape)));
    EXPECT_EQ(takeJava().at(0),
              "log(1000,File format incompatible: Found 65535.75 - current is 3.75.)");
}

TEST_F(ClassLoadTest, AFormatFailureIsBracketedOnceThreadSuspensionIsOn) {
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker);
    kelo::threadSuspension = true;
    ContainerShape shape;
    shape.formatVersion = 0;
    EXPECT_FALSE(check(container(shape)));
    const std::string text = "File format too old: Found 0.75 - current is 3.75.";
    EXPECT_EQ(takeJava(), (fake::Strings{"log(1000," + text + ")", "suspendThreads()",
                                         "errorUnspecified(" + text + ")", "resumeThreads()"}));
}

TEST_F(ClassLoadTest, TheGateRunsForTheFirstContainerOfKind0Only) {
    EXPECT_TRUE(check(container(gated({1, 7, 0, 0}))));
    EXPECT_EQ(takeJava(), fake::Strings{"getProperty(java.version)"});
    EXPECT_FALSE(kelo::versionGatePending);
    // Later bounds are not looked at.
    EXPECT_TRUE(check(container(gated({99, 0, 0, 0}))));
    EXPECT_EQ(takeJava(), fake::Strings());
}

TEST_F(ClassLoadTest, ContainersOfOtherKindsPassWithoutTheGate) {
    ContainerShape shape = gated({99, 0, 0, 0});
    shape.classKind = 1;
    EXPECT_TRUE(check(container(shape)));
    EXPECT_EQ(takeJava(), fake::Strings());
    EXPECT_TRUE(kelo::versionGatePending);
    // A later container of kind 0 still meets the gate.
    EXPECT_FALSE(check(container(gated({99, 0, 0, 0}))));
    EXPECT_EQ(takeJava().at(0), "getProperty(java.version)");
}

TEST_F(ClassLoadTest, AFailedGateReportsAndEndsTheJvm) {
    jni.systemProperties["java.version"] = "1.6.0";
    EXPECT_FALSE(check(container(gated({1, 7, 0, 0}))));
    const std::string text = "Java Version too old, 1.7.0 required.";
    EXPECT_EQ(takeJava(), (fake::Strings{"getProperty(java.version)", "log(1000," + text + ")",
                                         "errorUnspecified(" + text + ")", "exit(1)"}));
    EXPECT_TRUE(kelo::versionGatePending);
    EXPECT_EQ(context.messageText, text);
}

TEST_F(ClassLoadTest, AFailedGateWithAPendingExceptionStillEndsTheJvm) {
    // errorUnspecified throws; the exit still happens and the exception is left for the caller.
    errorUnspecified.throws = "java/lang/IllegalStateException";
    jni.systemProperties["java.version"] = "1.6.0";
    EXPECT_FALSE(check(container(gated({1, 7, 0, 0}))));
    EXPECT_EQ(takeJava().back(), "exit(1)");
    EXPECT_EQ(jni.pendingName(), "java/lang/IllegalStateException");
    env->ExceptionClear();
}

TEST_F(ClassLoadTest, VersionGateBounds) {
    struct Case {
        const char* running;
        std::initializer_list<unsigned char> minimum, maximum;
        const char* failure; // null: passes
    };
    const Case cases[] = {
        {"1.6.0", {1, 6, 9, 0}, {0, 0, 0, 0}, nullptr},
        {"1.6.0", {1, 6, 0, 1}, {0, 0, 0, 0}, "Java Version too old, 1.6.1 required."},
        {"1.6.0", {1, 7, 0, 0}, {0, 0, 0, 0}, "Java Version too old, 1.7.0 required."},
        {"1.7.0",
         {0, 0, 0, 0},
         {1, 6, 5, 0},
         "Java Version not supported. Maximum version is 1.6.0."},
        {"1.6.0_45", {0, 0, 0, 0}, {1, 6, 0, 0}, nullptr},
        {"1.8.0-ea", {1, 8, 0, 0}, {1, 8, 0, 0}, nullptr},
        {"1.7.0", {0, 0, 0, 0}, {0, 0, 200, 0}, nullptr}, // byte 20 alone is no maximum
        {"1.7.0.", {1, 7, 0, 0}, {1, 7, 255, 0}, nullptr},
        {"17.0.9", {1, 8, 0, 0}, {0, 0, 0, 0}, nullptr},
        {"17.0.9", {17, 0, 0, 10}, {0, 0, 0, 0}, "Java Version too old, 17.0.10 required."},
        {"17.0.9",
         {0, 0, 0, 0},
         {11, 0, 0, 99},
         "Java Version not supported. Maximum version is 11.0.99."},
        // A component above 255 spills into the one above it: 2.256.0 packs as 3.0.0.
        {"2.256.0", {3, 0, 0, 0}, {3, 0, 0, 0}, nullptr},
    };
    for (const Case& c : cases) {
        jni.systemProperties["java.version"] = c.running;
        kelo::_tbO fresh(env, runtime);
        std::copy(c.minimum.begin(), c.minimum.end(), fresh.header.minJavaVersion);
        std::copy(c.maximum.begin(), c.maximum.end(), fresh.header.maxJavaVersion);
        EXPECT_EQ(fresh.checkJavaVersion(), c.failure == nullptr) << c.running;
        EXPECT_EQ(fresh.messageText, c.failure ? c.failure : "") << c.running;
    }
    EXPECT_EQ(kelo::packJavaVersion(1, 256, 0), kelo::packJavaVersion(1, 0, 0));
    EXPECT_EQ(kelo::packJavaVersion(2, 256, 0), kelo::packJavaVersion(3, 0, 0));
    EXPECT_EQ(kelo::packJavaVersion(0x1FF01, 0, 0), 0x01000000u);
}

TEST_F(ClassLoadTest, TheFailureTextIsAppended) {
    jni.systemProperties["java.version"] = "1.6.0";
    context.header.minJavaVersion[0] = 1;
    context.header.minJavaVersion[1] = 7;
    context.messageText = "Before. ";
    EXPECT_FALSE(context.checkJavaVersion());
    EXPECT_EQ(context.messageText, "Before. Java Version too old, 1.7.0 required.");
}

TEST_F(ClassLoadTest, AVersionThatDoesNotParseRaisesTheParsersException) {
    for (const char* version : {"1.7", "9", "10-ea", "x.1.2", ""}) {
        jni.systemProperties["java.version"] = version;
        try {
            context.checkJavaVersion();
            ADD_FAILURE() << version;
        } catch (const kbs::Exception& e) {
            EXPECT_EQ(e.errorId(), 2021) << version;
        }
    }
    // Through checkContainer the exception passes, and the gate stays pending.
    jni.systemProperties["java.version"] = "9";
    EXPECT_THROW(check(container(gated({1, 0, 0, 0}))), kbs::Exception);
    EXPECT_TRUE(kelo::versionGatePending);
}

TEST_F(ClassLoadTest, SystemPropertiesThatCannotBeRead) {
    EXPECT_EQ(context.getSystemProperty("java.version"), "17.0.9");
    EXPECT_EQ(context.getSystemProperty("no.such.property"), "");
    getProperty.throws = "java/lang/SecurityException";
    EXPECT_EQ(context.getSystemProperty("java.version"), "");
    EXPECT_EQ(jni.pendingName(), "java/lang/SecurityException");
    env->ExceptionClear();
    getProperty.throws.clear();
    getProperty.missing = true;
    EXPECT_EQ(context.getSystemProperty("java.version"), "");
    env->ExceptionClear();
    systemClass.findable = false;
    EXPECT_EQ(context.getSystemProperty("java.version"), "");
    env->ExceptionClear();
}

TEST_F(ClassLoadTest, AContextEnteredWithAnExceptionPendingKeepsIt) {
    jni.raise("java/lang/Error");
    EXPECT_EQ(context.getSystemProperty("java.version"), "17.0.9");
    EXPECT_EQ(jni.pendingName(), "java/lang/Error");
    env->ExceptionClear();
}
