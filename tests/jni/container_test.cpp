// One row per rule of the container format, each run through iLoadClass, the tool interface's hook
// (the bare container and a carrier of it), with every block of the buffers' storage and of the
// tool interface watched: all must come back as zeros; and through the profiler's hook, which
// takes bare containers only. Truncations and other size extremes are the hostile sweep's and the
// fuzzers'.
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/classload/buffers.h"
#include "jni/classload/pipeline.h"
#include "jni/state.h"

#include <cstring>
#include <utility>

using namespace testdata;

namespace {

// 32 bytes, the smallest class the pipeline takes.
const Bytes sample = classFile("a");
const auto sampleSize = static_cast<std::uint32_t>(sample.size());
const char* const failed = "Decompression failed|Decompression failed!";

// NoContainer and Format go to the JVM as they came; Refused and Unfit are handed back by the
// hook; Unfit is refused before any storage is taken, as the header's sizes cannot be met.
enum Outcome { NoContainer, Format, Decoded, Refused, Unfit };

struct Row {
    const char* why;
    Shape shape;
    void (*edit)(Bytes&);
    Outcome outcome;
    const char* report; // what errorUnspecified receives
};

void none(Bytes&) {}
// The class one byte longer than the member, with the trailer's ISIZE forged to match.
void longer(Bytes& b) {
    put32(b, AtClassSize, sampleSize + 1);
    put32(b, b.size() - 4, sampleSize - 3);
}

// clang-format off
const Row rows[] = {
    {"stored, every option but thread suspension", {false, false, 75, 3, 1, 0xED}, none, Decoded, ""},
    {"stored, CRC", {false, true}, none, Decoded, ""},
    {"gzip, CRC, a longer header", {true, true, 200}, none, Decoded, ""},
    {"gzip, CRC, bytes past the packed length", {true, true}, [](Bytes& b) { b.insert(b.end(), 8, 0xFF); }, Decoded, ""},
    {"74 bytes", {}, [](Bytes& b) { b.resize(74); }, NoContainer, ""},
    {"the signature is exact", {}, [](Bytes& b) { b[7] = 'f'; }, NoContainer, ""},
    {"version 0", {false, false, 75, 0}, none, Format, "File format too old: Found 0.75 - current is 3.75.|File format too old: Found 0.75 - current is 3.75."},
    {"version 4", {false, false, 80, 4}, none, Format, "File format incompatible: Found 4.80 - current is 3.75.|File format incompatible: Found 4.80 - current is 3.75."},
    {"header past the end", {}, [](Bytes& b) { b[AtHeaderLength + 1] = 0xFF; }, Unfit, failed},
    {"stored, one byte short", {}, [](Bytes& b) { b.pop_back(); }, Unfit, failed},
    {"class size 31", {}, [](Bytes& b) { put32(b, AtClassSize, 31); }, Refused, ""},
    {"a 13-byte header keeps the template's class size 0, not the x's at 47", {false, false, 13}, [](Bytes& b) { b.insert(b.end(), 40, 'x'); }, Unfit, ""},
    {"class size 0x7FFFFFFF, the largest a jint holds", {}, [](Bytes& b) { put32(b, AtClassSize, 0x7FFFFFFF); }, Unfit, failed},
    {"gzip, one byte short", {true}, [](Bytes& b) { b.pop_back(); }, Unfit, failed},
    {"gzip, 1032:1", {true}, [](Bytes& b) { put32(b, AtClassSize, (get32(b, AtPackedLength) - 18) * 1032 + 4); }, Refused, failed},
    {"gzip, more than 1032:1", {true}, [](Bytes& b) { put32(b, AtClassSize, (get32(b, AtPackedLength) - 18) * 1032 + 5); }, Unfit, failed},
    {"gzip, one byte more than the member holds", {true}, [](Bytes& b) { put32(b, AtClassSize, sampleSize + 1); }, Refused, failed},
    {"gzip, the trailer's length forged too", {true}, longer, Refused, failed},
    {"gzip, bytes after the member end in a larger length", {true}, [](Bytes& b) {
         put32(b, AtPackedLength, get32(b, AtPackedLength) + 4);
         b.insert(b.end(), 4, 0);
         longer(b); }, Refused, failed},
    {"gzip, wrong CRC in the trailer, thread suspension", {true, false, 75, 3, 1, 0x02}, [](Bytes& b) { b[b.size() - 8] ^= 1; }, Refused, failed},
    {"gzip header of another system", {true}, [](Bytes& b) { b[AtPayload + 9] = 3; }, Refused, failed},
    {"stored, a class byte changed", {false, true}, [](Bytes& b) { b[80] ^= 0x20; }, Refused, ""},
    {"gzip, CRC field wrong", {true, true}, [](Bytes& b) { b[AtClassCrc] ^= 1; }, Refused, ""},
};
// clang-format on

fake::Blocks buffers; // of the running test
int requests = 0;

// Storage handed out dirty, so that zeros are the buffers' doing; none of a size no test needs.
void* allocateWatched(std::size_t bytes) {
    ++requests;
    if (bytes > (1u << 20))
        throw std::bad_alloc();
    auto* block = static_cast<unsigned char*>(YS0073::allocateWithNew(bytes));
    std::memset(block, 0xA5, bytes);
    buffers.live.emplace(block, bytes);
    return block;
}

void releaseWatched(void* block, std::size_t bytes) {
    buffers.remove(block);
    YS0073::releaseWithDelete(block, bytes);
}

class ContainerTest : public BridgeTest, public ::testing::WithParamInterface<Row> {
protected:
    ContainerTest() {
        buffers = {};
        YS0073::bufferStorage = {allocateWatched, releaseWatched};
    }
    ~ContainerTest() override {
        YS0073::bufferStorage = {YS0073::allocateWithNew, YS0073::releaseWithDelete};
    }

    // The texts logged as errors ("|" after each) and reported since the last call; every block
    // back as zeros and no exception pending.
    std::string reports() {
        std::string text;
        for (const std::string& call : std::exchange(jni.java, {}))
            if (call.rfind("log(1000,", 0) == 0)
                text += call.substr(9, call.size() - 10) + "|";
            else if (call.rfind("errorUnspecified(", 0) == 0)
                text += call.substr(17, call.size() - 18);
        EXPECT_TRUE(buffers.live.empty() && tool.blocks.live.empty());
        EXPECT_EQ(buffers.dirty + tool.blocks.dirty, 0);
        EXPECT_EQ(jni.pending, nullptr);
        return text;
    }

    fake::Tool tool;
};

TEST_P(ContainerTest, Rule) {
    const Row& row = GetParam();
    SCOPED_TRACE(row.why);
    Bytes bytes = container(sample, row.shape);
    row.edit(bytes);
    // The class, or the bytes as they came when they are passed on, or nothing.
    const auto as = [&](bool passedOn) {
        return row.outcome == Decoded ? sample : passedOn ? bytes : Bytes();
    };
    // Exceptions that Java's log method throws: iLoadClass leaves the first for its caller, the
    // hooks none.
    java.log.throws = "java/lang/IllegalStateException";
    requests = 0;
    EXPECT_EQ(load(bytes).bytes, as(row.outcome <= Format));
    EXPECT_EQ(std::exchange(jni.pending, nullptr) != nullptr, row.outcome != NoContainer);
    EXPECT_EQ(requests > 0, row.outcome == Decoded || row.outcome == Refused);
    EXPECT_EQ(reports(), row.report);

    kelo::hookRuntimeRef.adopt(env, runtime);
    kelo::runtimeClass(env);
    const std::string text = base64(std::string(bytes.begin(), bytes.end()));
    const Bytes carrier =
        classFile("a/B", {chunk("a/B", 0, text.substr(0, 40)), "text",
                          chunk("a/B", 1, text.substr(40, 40)), chunk("a/B", 2, text.substr(80))});
    for (const Bytes& data : {bytes, carrier}) {
        EXPECT_EQ(tool.hook(env, nullptr, "a/B", data).value_or(Bytes()),
                  as(row.outcome > Decoded));
        EXPECT_EQ(reports(), row.report);
    }
    EXPECT_EQ(fake::profilerHook(env, bytes), as(true));
    EXPECT_EQ(reports(), row.report);
    // Without a worker, reports go out unbracketed once a container has switched it on, for good,
    // even if it then fails. (That the start message goes out once is the once-state test's.)
    EXPECT_EQ(kelo::threadSuspension.load(), row.shape.options == kelo::OptionSuspendThreads);
}

INSTANTIATE_TEST_SUITE_P(Rows, ContainerTest, ::testing::ValuesIn(rows));

// A grown buffer keeps its bytes, zeros the rest and gives the old block back wiped.
TEST_F(ContainerTest, BuffersAreZeroFilledAndWiped) {
    {
        YS0073::YS0081<unsigned char> wiped(16, YS0073::WipeZero);
        EXPECT_EQ(wiped.data()[15], 0);
        std::memset(wiped.data(), 0xEE, 16);
        wiped.setSizeKeep(20);
        EXPECT_EQ(wiped.data()[15] + wiped.data()[16], 0xEE);
    }
    EXPECT_EQ(buffers.freed, (std::multiset<std::size_t>{16, 20}));
    EXPECT_EQ(buffers.dirty, 0);
}

} // namespace
