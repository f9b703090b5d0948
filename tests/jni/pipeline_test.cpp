// The class pipeline: processClass and the steps below it, over hand-made containers,
// over every class of a real jar in every container form, and over every truncation.
#include "classload_fixture.h"

#include "jni/classload/pipeline.h"
#include "jni/natives.h"
#include "jni/state.h"

#include <algorithm>
#include <cstring>
#include <memory>

using testdata::Bytes;
using testdata::ContainerShape;

namespace {

const Bytes sampleClass = testdata::minimalClassFile("a/B");
const std::string processing = "log(800,Processing a/B)";
const std::string decompressionFailed = "log(1000,Decompression failed)";
const std::string decompressionReported = "errorUnspecified(Decompression failed!)";

// Class bytes of the given size that begin with a magic of their own and count upwards.
Bytes classOfSize(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    return bytes;
}

Bytes withMagic(Bytes bytes) {
    const unsigned char magic[] = {0xCA, 0xFE, 0xBA, 0xBE};
    std::copy(magic, magic + 4, bytes.begin());
    return bytes;
}

YS0073::YS0081<unsigned char> buffer() {
    return YS0073::YS0081<unsigned char>(0, YS0073::WipeZero);
}

Bytes contents(const YS0073::YS0081<unsigned char>& output) {
    return Bytes(output.data(), output.data() + output.size());
}

std::string testJar() {
#ifdef KELO_TEST_JAR
    return KELO_TEST_JAR;
#else
    return {};
#endif
}

} // namespace

class PipelineTest : public ClassLoadTest {
protected:
    PipelineTest() { context.className = "a/B"; }

    // checkContainer, then processClass into a fresh buffer as iLoadClass does.
    bool process(const Bytes& container, Bytes* decoded = nullptr) {
        EXPECT_TRUE(check(container));
        auto output = buffer();
        const bool processed = context.processClass(output);
        if (decoded)
            *decoded = contents(output);
        return processed;
    }
};

TEST_F(PipelineTest, StoredAndCompressedContainersGiveTheClassBack) {
    for (bool compressed : {false, true}) {
        for (bool crc : {false, true}) {
            ContainerShape shape;
            shape.compressed = compressed;
            shape.crc = crc;
            shape.carried = {1, 2, 3};
            Bytes decoded;
            EXPECT_TRUE(process(testdata::buildContainer(sampleClass, shape), &decoded));
            EXPECT_EQ(decoded, sampleClass) << compressed << crc;
        }
    }
}

TEST_F(PipelineTest, TheReportsOfTheFirstContainer) {
    EXPECT_TRUE(process(testdata::buildContainer(sampleClass)));
    EXPECT_EQ(takeJava(), (fake::Strings{processing, "messageStart()"}));
    EXPECT_TRUE(kelo::startMessageSent);
    EXPECT_TRUE(process(testdata::buildContainer(sampleClass)));
    EXPECT_EQ(takeJava(), fake::Strings{processing});
}

TEST_F(PipelineTest, ClassSize31IsRefusedAfterTheProcessingLine) {
    Bytes decoded;
    EXPECT_FALSE(process(testdata::buildContainer(classOfSize(31)), &decoded));
    EXPECT_EQ(takeJava(), fake::Strings{processing});
    EXPECT_FALSE(kelo::startMessageSent);
    EXPECT_TRUE(process(testdata::buildContainer(classOfSize(32)), &decoded));
    EXPECT_EQ(decoded, withMagic(classOfSize(32)));
    EXPECT_EQ(takeJava(), (fake::Strings{processing, "messageStart()"}));
}

TEST_F(PipelineTest, TooSmallClassSizesNeedNoStorage) {
    for (std::uint32_t size : {0u, 1u, 3u, 4u, 31u}) {
        Bytes bytes = testdata::buildContainer(classOfSize(40));
        testdata::put32(bytes, testdata::AtClassSize, size);
        ASSERT_TRUE(check(bytes));
        EXPECT_FALSE(context.processClass(nullptr, size)) << size;
    }
}

TEST_F(PipelineTest, TheMagicIsWrittenWhateverThePayloadHolds) {
    Bytes zeros(64, 0);
    Bytes decoded;
    for (bool compressed : {false, true}) {
        ContainerShape shape;
        shape.compressed = compressed;
        EXPECT_TRUE(process(testdata::buildContainer(zeros, shape), &decoded));
        EXPECT_EQ(decoded, withMagic(zeros));
    }
}

TEST_F(PipelineTest, AStoredPayloadIgnoresThePackedLength) {
    Bytes bytes = testdata::buildContainer(sampleClass);
    testdata::put32(bytes, testdata::AtPackedLength, 0xFFFFFFFF);
    Bytes decoded;
    EXPECT_TRUE(process(bytes, &decoded));
    EXPECT_EQ(decoded, sampleClass);
}

TEST_F(PipelineTest, GzipMembersWithAnythingButThePlainHeaderAreRefused) {
    const Bytes plain = testdata::plainGzipHeader();
    for (std::size_t at : {3, 4, 7, 8, 9}) {
        for (int value : {0x01, 0x08, 0xFF}) {
            ContainerShape shape;
            shape.compressed = true;
            shape.gzipHeader = plain;
            shape.gzipHeader[at] = static_cast<unsigned char>(value);
            kelo::_tbO fresh(env, runtime);
            fresh.className = "a/B";
            const Bytes bytes = testdata::buildContainer(sampleClass, shape);
            ASSERT_TRUE(
                fresh.checkContainer(bytes.data(), static_cast<std::uint32_t>(bytes.size())));
            auto output = buffer();
            EXPECT_FALSE(fresh.processClass(output)) << at << " " << int{value};
        }
    }
    // The flag byte 08, a file name, with its report.
    kelo::startMessageSent = false;
    takeJava();
    ContainerShape shape;
    shape.compressed = true;
    shape.gzipHeader[3] = 0x08;
    EXPECT_FALSE(process(testdata::buildContainer(sampleClass, shape)));
    EXPECT_EQ(takeJava(), (fake::Strings{processing, "messageStart()", decompressionFailed,
                                         decompressionReported}));
}

TEST_F(PipelineTest, AMemberOfAnotherLengthIsRefused) {
    ContainerShape shape;
    shape.compressed = true;
    // The header names one byte more than the member holds.
    Bytes bytes = testdata::buildContainer(sampleClass, shape);
    testdata::put32(bytes, testdata::AtClassSize,
                    static_cast<std::uint32_t>(sampleClass.size() + 1));
    EXPECT_FALSE(process(bytes));
    EXPECT_EQ(takeJava().back(), decompressionReported);
    // The trailer's length forged to match the header: zlib checks it against the data.
    bytes = testdata::buildContainer(sampleClass, shape);
    testdata::put32(bytes, testdata::AtClassSize,
                    static_cast<std::uint32_t>(sampleClass.size() + 1));
    const std::size_t trailer = bytes.size() - 4; // the member ends the container
    testdata::put32(bytes, trailer, static_cast<std::uint32_t>(sampleClass.size() - 3));
    EXPECT_FALSE(process(bytes));
    EXPECT_EQ(takeJava().back(), decompressionReported);
    // A wrong CRC in the trailer.
    bytes = testdata::buildContainer(sampleClass, shape);
    bytes[trailer - 4] ^= 1;
    EXPECT_FALSE(process(bytes));
    EXPECT_EQ(takeJava().back(), decompressionReported);
}

TEST_F(PipelineTest, TheCrcIsCheckedOnlyWhenAsked) {
    for (bool compressed : {false, true}) {
        ContainerShape shape;
        shape.compressed = compressed;
        Bytes bytes = testdata::buildContainer(sampleClass, shape);
        bytes[testdata::AtClassCrc] ^= 0x40;
        EXPECT_TRUE(process(bytes));

        shape.crc = true;
        bytes = testdata::buildContainer(sampleClass, shape);
        EXPECT_TRUE(process(bytes));
        bytes[testdata::AtClassCrc + 3] ^= 0x01;
        takeJava();
        EXPECT_FALSE(process(bytes));
        EXPECT_EQ(takeJava(), fake::Strings{processing}); // no report
    }
    // A single changed byte of a stored class.
    ContainerShape shape;
    shape.crc = true;
    Bytes bytes = testdata::buildContainer(sampleClass, shape);
    bytes[80] ^= 0x20;
    EXPECT_FALSE(process(bytes));
}

TEST_F(PipelineTest, SuspendThreadsSwitchesOnForGoodEvenWhenDecodingFails) {
    Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker);
    ContainerShape shape;
    shape.compressed = true;
    shape.options = kelo::OptionSuspendThreads;
    Bytes bytes = testdata::buildContainer(sampleClass, shape);
    bytes[90] ^= 0xFF; // in the deflate data, after the gzip header at 75
    EXPECT_FALSE(process(bytes));
    EXPECT_TRUE(kelo::threadSuspension);
    EXPECT_EQ(takeJava(),
              (fake::Strings{processing, "messageStart()", decompressionFailed, "suspendThreads()",
                             decompressionReported, "resumeThreads()"}));
    // Not switched off by a container without the option.
    EXPECT_TRUE(process(testdata::buildContainer(sampleClass)));
    EXPECT_TRUE(kelo::threadSuspension);
}

TEST_F(PipelineTest, SuspendThreadsNeedsItsBit) {
    ContainerShape shape;
    shape.options = static_cast<unsigned char>(~kelo::OptionSuspendThreads & ~kelo::OptionCrc);
    EXPECT_TRUE(process(testdata::buildContainer(sampleClass, shape)));
    EXPECT_FALSE(kelo::threadSuspension);
}

TEST_F(PipelineTest, MessageStartGoesOutOnceEvenWhenTheFirstContainerFails) {
    ContainerShape shape;
    shape.compressed = true;
    shape.gzipHeader[9] = 3;
    EXPECT_FALSE(process(testdata::buildContainer(sampleClass, shape)));
    EXPECT_EQ(takeJava().at(1), "messageStart()");
    EXPECT_TRUE(process(testdata::buildContainer(sampleClass)));
    EXPECT_EQ(takeJava(), fake::Strings{processing});
}

TEST_F(PipelineTest, SizesThePayloadCannotSatisfyAreRefusedWithoutStorage) {
    struct Case {
        const char* what;
        bool compressed;
        std::uint32_t classSize;
        std::uint32_t packedLength; // 0: the builder's
        std::size_t cut;            // bytes taken off the end
    };
    const std::uint32_t n = static_cast<std::uint32_t>(sampleClass.size());
    const Case cases[] = {
        {"stored, one byte short", false, n, 0, 1},
        {"stored, classSize past the payload", false, n + 1, 0, 0},
        {"stored, 4 GiB", false, 0xFFFFFFFF, 0, 0},
        {"stored, 2 GiB", false, 0x80000000, 0, 0},
        {"packed length past the payload", true, n, 1000, 0},
        {"packed, one byte short", true, n, 0, 1},
        {"packed, 4 GiB", true, 0xFFFFFFFF, 0, 0},
        {"packed, more than 1032:1", true, 0x7FFFFFF0, 0, 0},
    };
    for (const Case& c : cases) {
        ContainerShape shape;
        shape.compressed = c.compressed;
        Bytes bytes = testdata::buildContainer(sampleClass, shape);
        bytes.resize(bytes.size() - c.cut);
        testdata::put32(bytes, testdata::AtClassSize, c.classSize);
        if (c.packedLength)
            testdata::put32(bytes, testdata::AtPackedLength, c.packedLength);
        kelo::startMessageSent = true;
        takeJava();
        ASSERT_TRUE(check(bytes)) << c.what;
        EXPECT_FALSE(kelo::containerSizesFit(context.header, context.payloadLength)) << c.what;
        auto output = buffer();
        EXPECT_FALSE(context.processClass(output)) << c.what;
        EXPECT_EQ(output.data(), nullptr) << c.what;
        EXPECT_EQ(takeJava(),
                  (fake::Strings{processing, decompressionFailed, decompressionReported}))
            << c.what;
    }
}

TEST_F(PipelineTest, AHeaderPastTheEndIsRefused) {
    Bytes bytes = testdata::buildContainer(sampleClass);
    testdata::put16(bytes, testdata::AtHeaderLength, static_cast<std::uint32_t>(bytes.size() + 1));
    EXPECT_FALSE(process(bytes));
    EXPECT_EQ(takeJava().back(), decompressionReported);
}

TEST_F(PipelineTest, TheDeflateBoundAdmitsHighlyCompressedClasses) {
    // Zeros compress about 1030:1 at level 9; the bound must still let them through.
    const Bytes zeros(4 << 20, 0);
    ContainerShape shape;
    shape.compressed = true;
    const Bytes bytes = testdata::buildContainer(zeros, shape);
    ASSERT_TRUE(check(bytes));
    EXPECT_TRUE(kelo::containerSizesFit(context.header, context.payloadLength));
    auto output = buffer();
    EXPECT_TRUE(context.processClass(output));
    EXPECT_EQ(contents(output), withMagic(zeros));
}

TEST(GzipTest, PlainHeader) {
    const Bytes plain = testdata::plainGzipHeader();
    EXPECT_TRUE(kelo::isPlainGzipHeader(plain.data(), 10));
    EXPECT_FALSE(kelo::isPlainGzipHeader(plain.data(), 9));
    EXPECT_FALSE(kelo::isPlainGzipHeader(nullptr, 0));
    for (std::size_t at = 0; at < plain.size(); ++at) {
        Bytes changed = plain;
        changed[at] ^= 0x10;
        EXPECT_FALSE(kelo::isPlainGzipHeader(changed.data(), 10)) << at;
    }
}

TEST(GzipTest, GunzipToBuffer) {
    const Bytes data = classOfSize(1000);
    const Bytes member = testdata::gzipMember(data);
    YS0073::YS0081<unsigned char> input(static_cast<std::uint32_t>(member.size()));
    std::copy(member.begin(), member.end(), input.data());
    YS0073::YS0081<unsigned char> output(5);
    EXPECT_EQ(kelo::gunzipToBuffer(input, output), 1000u);
    EXPECT_EQ(contents(output), data);

    // Empty input: nothing, and the output released.
    YS0073::YS0081<unsigned char> empty;
    EXPECT_EQ(kelo::gunzipToBuffer(empty, output), 0u);
    EXPECT_EQ(output.data(), nullptr);

    // A trailer claiming 4 GiB is refused before it is allocated.
    Bytes forged = member;
    testdata::put32(forged, forged.size() - 4, 0xFFFFFFFF);
    YS0073::YS0081<unsigned char> forgedInput(static_cast<std::uint32_t>(forged.size()));
    std::copy(forged.begin(), forged.end(), forgedInput.data());
    EXPECT_EQ(kelo::gunzipToBuffer(forgedInput, output), 0u);
    EXPECT_EQ(output.data(), nullptr);

    // The window bits accept only a gzip wrapper: a zlib stream fails.
    const Bytes zlibStream = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
    YS0073::YS0081<unsigned char> zlibInput(8);
    std::copy(zlibStream.begin(), zlibStream.end(), zlibInput.data());
    EXPECT_EQ(kelo::gunzipToBuffer(zlibInput, output), 0u);
}

TEST(GzipTest, GunzipExact) {
    const Bytes data = classOfSize(300);
    const Bytes member = testdata::gzipMember(data);
    const auto length = static_cast<std::uint32_t>(member.size());
    Bytes dest(300, 0x77);
    EXPECT_TRUE(kelo::gunzipExact(dest.data(), 300, member.data(), length));
    EXPECT_EQ(dest, data);

    Bytes untouched(301, 0x77);
    EXPECT_FALSE(kelo::gunzipExact(untouched.data(), 301, member.data(), length));
    EXPECT_FALSE(kelo::gunzipExact(untouched.data(), 299, member.data(), length));
    EXPECT_EQ(untouched, Bytes(301, 0x77));
    // Bytes after the member that end in a larger length: no zeros are added after its 300 bytes.
    Bytes padded = member;
    padded.resize(member.size() + 4);
    testdata::put32(padded, member.size(), 301);
    EXPECT_FALSE(kelo::gunzipExact(untouched.data(), 301, padded.data(), length + 4));
    EXPECT_EQ(untouched, Bytes(301, 0x77));
    // Every truncation, read from an exact-size copy.
    for (std::uint32_t cut = 0; cut < length; ++cut) {
        std::unique_ptr<unsigned char[]> prefix(new unsigned char[cut]);
        std::copy(member.begin(), member.begin() + cut, prefix.get());
        EXPECT_FALSE(kelo::gunzipExact(untouched.data(), 300, prefix.get(), cut)) << cut;
    }
}

TEST(Crc32Test, TheCheckValueOfGzip) {
    const char* text = "123456789";
    EXPECT_EQ(kelo::_tbO::computeCrc32(reinterpret_cast<const unsigned char*>(text), 9),
              0xCBF43926u);
    EXPECT_EQ(kelo::_tbO::computeCrc32(nullptr, 0), 0u);
}

// Every class of a real jar, in every container form, decodes to its own bytes.
TEST_F(PipelineTest, EveryClassOfARealJarInEveryForm) {
    if (testJar().empty())
        GTEST_SKIP() << "no jrt-fs.jar was found at configure time";
    const auto classes = testdata::jarClasses(testJar());
    ASSERT_FALSE(classes.empty()) << "no classes read from " << testJar();
    std::size_t checked = 0;
    for (const auto& [name, bytes] : classes) {
        for (bool compressed : {false, true}) {
            for (bool crc : {false, true}) {
                for (int kind : {0, 1, 2}) {
                    for (int headerLength : {75, 96}) {
                        ContainerShape shape;
                        shape.compressed = compressed;
                        shape.crc = crc;
                        shape.classKind = static_cast<unsigned char>(kind);
                        shape.minJava[0] = 1;
                        shape.minJava[1] = 8;
                        shape.headerLength = static_cast<std::uint16_t>(headerLength);
                        shape.carried = {0xCA, 0xFE};
                        kelo::_tbO fresh(env, runtime);
                        fresh.className = name;
                        const Bytes container = testdata::buildContainer(bytes, shape);
                        ASSERT_TRUE(fresh.checkContainer(
                            container.data(), static_cast<std::uint32_t>(container.size())));
                        auto output = buffer();
                        ASSERT_TRUE(fresh.processClass(output)) << name;
                        ASSERT_EQ(contents(output), bytes) << name;
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_GE(checked, 24u * 10);
    EXPECT_EQ(std::count(jni.java.begin(), jni.java.end(), "messageStart()"), 1);
    EXPECT_EQ(std::count(jni.java.begin(), jni.java.end(), "getProperty(java.version)"), 1);
}

// Every prefix of real containers: no read beyond it (the copies are exact-size, which
// AddressSanitizer watches), refused until the payload is complete.
TEST_F(PipelineTest, EveryTruncationOfARealContainer) {
    auto classes = testdata::jarClasses(testJar());
    if (classes.empty())
        classes.emplace_back("a/B", sampleClass);
    const Bytes& classFile = classes.front().second;
    for (bool compressed : {false, true}) {
        ContainerShape shape;
        shape.compressed = compressed;
        shape.crc = true;
        shape.carried = Bytes(16, 0x5A);
        const Bytes container = testdata::buildContainer(classFile, shape);
        const std::size_t complete = container.size() - shape.carried.size();
        for (std::size_t length = 0; length <= container.size(); ++length) {
            kelo::_tbO fresh(env, runtime);
            fresh.className = "a/B";
            std::unique_ptr<unsigned char[]> prefix(new unsigned char[length]);
            std::copy(container.begin(), container.begin() + length, prefix.get());
            const bool isContainer =
                fresh.checkContainer(prefix.get(), static_cast<std::uint32_t>(length));
            ASSERT_EQ(isContainer, length >= 75) << length;
            if (!isContainer)
                continue;
            auto output = buffer();
            const bool processed = fresh.processClass(output);
            ASSERT_EQ(processed, length >= complete) << compressed << " " << length;
            if (processed) {
                ASSERT_EQ(contents(output), classFile);
            }
            const std::string last = jni.java.back();
            ASSERT_EQ(last, processed ? "log(800,Processing a/B)" : decompressionReported)
                << length;
        }
    }
}
