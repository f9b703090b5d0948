// Class bytes and packed streams do not outlive their buffers: every block that iLoadClass and the
// class-load hook get from the buffers' storage, from zlib or from the tool interface is all zeros
// when it is given back, on success and on every failure of the pipeline.
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/classload/buffers.h"
#include "jni/classload/hooks.h"
#include "jni/natives.h"

#include <cstring>

using namespace testdata;

namespace {

fake::Blocks* watched = nullptr;

// Storage handed out dirty, so that zeros are the buffers' doing.
void* allocateWatched(std::size_t bytes) {
    void* block = YS0073::allocateWithNew(bytes);
    std::memset(block, 0xA5, bytes);
    watched->add(block, bytes);
    return block;
}

void releaseWatched(void* block, std::size_t bytes) {
    watched->remove(block);
    YS0073::releaseWithDelete(block, bytes);
}

const Bytes sample = classFile("a/B");

Bytes spoilt(bool compressed, int how) {
    Bytes bytes = container(sample, {compressed, true});
    if (how == 0) {
        bytes[AtClassCrc] ^= 1;
    } else if (how == 1) {
        bytes[75 + 10] = 0x07; // deflate block type 3, which no stream may use
    } else {                   // deflate data cut short, the trailer kept
        bytes.erase(bytes.end() - 20, bytes.end() - 8);
        put32(bytes, AtPackedLength, get32(bytes, AtPackedLength) - 12);
    }
    return bytes;
}

class WipingTest : public BridgeTest {
protected:
    WipingTest() {
        watched = &buffers;
        YS0073::bufferStorage = {allocateWatched, releaseWatched};
    }
    ~WipingTest() override {
        YS0073::bufferStorage = {YS0073::allocateWithNew, YS0073::releaseWithDelete};
        watched = nullptr;
    }

    jclass load(const Bytes& data) {
        return Java_com_kelo_rvs_Runtime_iLoadClass(env, runtime, java.loader, jni.newString("a/B"),
                                                    jni.newByteArray(data));
    }

    Bytes hook(const Bytes& data) {
        jint length = -1;
        unsigned char* replaced = nullptr;
        kelo::onClassFileLoad(&tool.env, env, nullptr, nullptr, "a/B", nullptr,
                              static_cast<jint>(data.size()), data.data(), &length, &replaced);
        return replaced ? Bytes(replaced, replaced + length) : Bytes();
    }

    // Every buffer came back, as zeros, and the class bytes were among them.
    void expectWiped(bool classBuffer = true) {
        EXPECT_TRUE(buffers.live.empty());
        EXPECT_EQ(buffers.dirty, 0);
        EXPECT_EQ(tool.blocks.dirty, 0);
        EXPECT_EQ(buffers.freed.count(sample.size()), classBuffer ? 1u : 0u);
        buffers.freed.clear();
    }

    fake::Blocks buffers;
    fake::Tool tool;
};

TEST_F(WipingTest, BuffersAreZeroFilledAndWipedInMode1Only) {
    {
        YS0073::YS0081<unsigned char> kept(16, YS0073::WipeNone);
        YS0073::YS0081<unsigned char> wiped(16, YS0073::WipeZero);
        EXPECT_EQ(wiped.data()[15], 0);
        std::memset(wiped.data(), 0xEE, 16);
        wiped.setSizeKeep(20);
        EXPECT_EQ(wiped.data()[15] + wiped.data()[16], 0xEE);
        std::memset(wiped.data(), 0xEE, 20);
    }
    EXPECT_EQ(buffers.freed, (std::multiset<std::size_t>{16, 16, 20}));
    EXPECT_EQ(buffers.dirty, 1);
}

TEST_F(WipingTest, ILoadClassWipesTheClassOnceDefinedAndOnEveryFailure) {
    for (const bool compressed : {false, true}) {
        EXPECT_NE(load(container(sample, {compressed, true})), nullptr);
        EXPECT_EQ(jni.definitions.back().bytes, sample);
        expectWiped();
    }
    for (const Bytes& bad : {spoilt(false, 0), spoilt(true, 0), spoilt(true, 1), spoilt(true, 2)}) {
        EXPECT_EQ(load(bad), nullptr);
        expectWiped();
    }
    EXPECT_EQ(jni.definitions.size(), 2u);
}

TEST_F(WipingTest, TheHookWipesWhatItDoesNotHandOver) {
    EXPECT_EQ(hook(container(sample, {true, true})), sample);
    expectWiped(false);
    for (const Bytes& bad : {spoilt(true, 0), spoilt(true, 2)}) {
        EXPECT_EQ(hook(bad), bad);
        expectWiped(false);
        EXPECT_EQ(tool.blocks.freed.count(sample.size()), 1u);
        tool.blocks.freed.clear();
    }
    // A carrier's joined container too, besides the pipeline's scratch buffers.
    const Bytes packed = container(sample, {true, true});
    const std::string text = base64(std::string(packed.begin(), packed.end()));
    EXPECT_EQ(hook(classFile(
                  "a/B", {chunk("a/B", 0, text.substr(0, 40)), chunk("a/B", 1, text.substr(40))})),
              sample);
    EXPECT_EQ(buffers.freed.count(packed.size()), 1u);
    expectWiped(false);
}

} // namespace
