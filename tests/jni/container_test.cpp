// checkContainer, the class pipeline and the Java version gate: one row per rule of the format.
// Truncations and size extremes are the hostile sweep's and the fuzzers'.
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/classload/pipeline.h"
#include "jni/context.h"
#include "jni/natives.h"
#include "jni/state.h"
#include "kbs/exceptions.h"

using namespace testdata;

namespace {

const Bytes sample = classFile("a/B");
const auto sampleSize = static_cast<std::uint32_t>(sample.size());
const std::string processing = "log(800,Processing a/B)";
const std::string failed = "Decompression failed!";

// Unfit: refused before any storage is taken, as the header's sizes cannot be met.
enum Outcome { NoContainer, Decoded, Refused, Unfit };

struct Row {
    const char* why;
    Shape shape;
    void (*edit)(Bytes&);
    Outcome outcome;
    std::string report; // the errorUnspecified text; empty: none
};

void none(Bytes&) {}

const Row rows[] = {
    {"stored", {}, none, Decoded, ""},
    {"stored, CRC", {false, true}, none, Decoded, ""},
    {"gzip", {true}, none, Decoded, ""},
    {"a longer header puts the payload after it", {true, true, 200}, none, Decoded, ""},
    {"74 bytes are no container", {}, [](Bytes& b) { b.resize(74); }, NoContainer, ""},
    {"the signature is exact", {}, [](Bytes& b) { b[7] = 'f'; }, NoContainer, ""},
    {"format version 0",
     {false, false, 75, 0},
     none,
     Refused,
     "File format too old: Found 0.75 - current is 3.75."},
    {"format version 4",
     {false, false, 80, 4},
     none,
     Refused,
     "File format incompatible: Found 4.80 - current is 3.75."},
    {"header length past the end",
     {},
     [](Bytes& b) { put16(b, AtHeaderLength, 0xFFFF); },
     Unfit,
     failed},
    {"stored, one byte short", {}, [](Bytes& b) { b.pop_back(); }, Unfit, failed},
    {"stored ignores the packed length",
     {},
     [](Bytes& b) { put32(b, AtPackedLength, 0xFFFFFFFF); },
     Decoded,
     ""},
    {"class size 31", {}, [](Bytes& b) { put32(b, AtClassSize, 31); }, Refused, ""},
    {"packed length past the payload",
     {true},
     [](Bytes& b) { put32(b, AtPackedLength, get32(b, AtPackedLength) + 1); },
     Unfit,
     failed},
    {"gzip, one byte short", {true}, [](Bytes& b) { b.pop_back(); }, Unfit, failed},
    {"gzip, more than 1032:1",
     {true},
     [](Bytes& b) { put32(b, AtClassSize, 0x7FFFFFF0); },
     Unfit,
     failed},
    {"gzip, one byte more than the member holds",
     {true},
     [](Bytes& b) { put32(b, AtClassSize, sampleSize + 1); },
     Refused,
     failed},
    {"gzip, the trailer's length forged too",
     {true},
     [](Bytes& b) {
         put32(b, AtClassSize, sampleSize + 1);
         put32(b, b.size() - 4, sampleSize - 3);
     },
     Refused,
     failed},
    {"gzip, bytes after the member that end in a larger length",
     {true},
     [](Bytes& b) {
         put32(b, AtClassSize, sampleSize + 1);
         put32(b, AtPackedLength, get32(b, AtPackedLength) + 4);
         b.insert(b.end(), {0, 0, 0, 0});
         put32(b, b.size() - 4, sampleSize - 3);
     },
     Refused,
     failed},
    {"gzip, wrong CRC in the trailer",
     {true},
     [](Bytes& b) { b[b.size() - 8] ^= 1; },
     Refused,
     failed},
    {"gzip header with a file name",
     {true, false, 75, 3, 1, 0, {0x1F, 0x8B, 8, 8, 0, 0, 0, 0, 0, 0}},
     none,
     Refused,
     failed},
    {"CRC field wrong, option off", {}, [](Bytes& b) { b[AtClassCrc] ^= 0x40; }, Decoded, ""},
    {"stored, a class byte changed", {false, true}, [](Bytes& b) { b[80] ^= 0x20; }, Refused, ""},
    {"gzip, CRC field wrong", {true, true}, [](Bytes& b) { b[AtClassCrc] ^= 1; }, Refused, ""},
};

class ContainerTest : public BridgeTest, public ::testing::WithParamInterface<Row> {
protected:
    // checkContainer on an exact-size copy, as iLoadClass and the hook pass their bytes.
    bool check(const Bytes& bytes) {
        held.assign(bytes.begin(), bytes.end());
        held.shrink_to_fit();
        return context.checkContainer(held.data(), static_cast<std::uint32_t>(held.size()));
    }

    kelo::_tbO context{env, runtime};
    Bytes held;
};

TEST_P(ContainerTest, Rule) {
    const Row& row = GetParam();
    context.className = "a/B";
    Bytes bytes = container(sample, row.shape);
    row.edit(bytes);
    YS0073::YS0081<unsigned char> output(0, YS0073::WipeZero);
    const bool isContainer = check(bytes);
    const bool decoded = isContainer && context.processClass(output);
    EXPECT_EQ(isContainer, row.outcome != NoContainer && row.report.rfind("File", 0) != 0);
    EXPECT_EQ(decoded, row.outcome == Decoded);
    if (row.outcome == Unfit) {
        EXPECT_EQ(output.data(), nullptr);
    }
    if (decoded) {
        EXPECT_EQ(Bytes(output.data(), output.data() + output.size()), sample);
    }
    std::string report;
    for (const std::string& call : jni.java) {
        if (call.rfind("errorUnspecified(", 0) == 0)
            report = call.substr(17, call.size() - 18);
    }
    EXPECT_EQ(report, row.report);
}

INSTANTIATE_TEST_SUITE_P(Rows, ContainerTest, ::testing::ValuesIn(rows));

using ContainerState = ContainerTest;

TEST(Gzip, ATrailerNoMemberCouldMeetIsRefusedBeforeStorage) {
    Bytes member = gzipMember(sample);
    put32(member, member.size() - 4, 0xFFFFFFFF);
    YS0073::YS0081<unsigned char> input(static_cast<std::uint32_t>(member.size())), output(5);
    std::copy(member.begin(), member.end(), input.data());
    EXPECT_EQ(kelo::gunzipToBuffer(input, output), 0u);
    EXPECT_EQ(output.data(), nullptr);
}

// The rest of a short header comes from the context's template: a current header of size 0.
TEST_F(ContainerState, AShortHeaderKeepsTheTemplateBeyondIt) {
    const Bytes bytes =
        container(classFile("a/B", {std::string(40, 'x')}), {false, false, 13, 2, 7});
    ASSERT_TRUE(check(bytes));
    EXPECT_EQ(context.header.classKind, 7);
    EXPECT_EQ(context.header.formatVersion.value(), 2u);
    EXPECT_EQ(context.header.headerLength.value(), 13u);
    EXPECT_EQ(context.header.classSize.value(), 0u);
    EXPECT_EQ(context.payload, held.data() + 13);
}

TEST_F(ContainerState, StartMessageOnceAndSuspensionOnForGood) {
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker);
    YS0073::YS0081<unsigned char> output;
    context.className = "a/B";
    Shape suspending{true};
    suspending.options = kelo::OptionSuspendThreads;
    Bytes bytes = container(sample, suspending);
    bytes[90] ^= 0xFF; // in the deflate data
    ASSERT_TRUE(check(bytes));
    EXPECT_FALSE(context.processClass(output));
    EXPECT_EQ(takeJava(), (fake::Strings{processing, "messageStart()",
                                         "log(1000,Decompression failed)", "suspendThreads()",
                                         "errorUnspecified(" + failed + ")", "resumeThreads()"}));
    Shape otherBits;
    otherBits.options = static_cast<unsigned char>(~kelo::OptionSuspendThreads & ~kelo::OptionCrc);
    kelo::threadSuspension = false;
    ASSERT_TRUE(check(container(sample, otherBits)));
    EXPECT_TRUE(context.processClass(output));
    EXPECT_EQ(takeJava(), fake::Strings{processing});
    EXPECT_FALSE(kelo::threadSuspension);
}

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

Bytes gated(unsigned char kind, unsigned char minimumMajor) {
    Bytes bytes = container(sample, {false, false, 75, 3, kind});
    bytes[AtMinJava] = minimumMajor;
    return bytes;
}

TEST_F(ContainerState, TheGateRunsForTheFirstContainerOfKind0Only) {
    EXPECT_TRUE(check(gated(1, 99)));
    EXPECT_EQ(takeJava(), fake::Strings());
    EXPECT_TRUE(check(gated(0, 1)));
    EXPECT_EQ(takeJava(), fake::Strings{"getProperty(java.version)"});
    EXPECT_TRUE(check(gated(0, 99)));
    EXPECT_EQ(takeJava(), fake::Strings());
}

TEST_F(ContainerState, AFailedGateReportsAndEndsTheJvm) {
    java.errorUnspecified.throws = "java/lang/IllegalStateException";
    EXPECT_FALSE(check(gated(0, 18)));
    const std::string text = "Java Version too old, 18.0.0 required.";
    EXPECT_EQ(takeJava(), (fake::Strings{"getProperty(java.version)", "log(1000," + text + ")",
                                         "errorUnspecified(" + text + ")", "exit(1)"}));
    EXPECT_TRUE(kelo::versionGatePending);
}

TEST_F(ContainerState, AVersionThatDoesNotParseThrowsAndTheGateStaysPending) {
    for (const char* version : {"1.7", "10-ea", "x.1.2", ""}) {
        jni.systemProperties["java.version"] = version;
        try {
            check(gated(0, 1));
            ADD_FAILURE() << version;
        } catch (const kbs::Exception& e) {
            EXPECT_EQ(e.errorId(), 2021) << version;
        }
    }
    jni.systemProperties.clear();
    EXPECT_THROW(check(gated(0, 1)), kbs::Exception);
    EXPECT_TRUE(kelo::versionGatePending);
}

} // namespace
