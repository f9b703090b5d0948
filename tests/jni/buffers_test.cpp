// The owned byte buffers of the class pipeline: zero-filled on allocation, wiped before free.
#include "jni/classload/buffers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

// This program's global allocation functions, so that a test can see the bytes of storage at the
// moment it is freed.
namespace {

const void* watched = nullptr;
std::size_t watchedSize = 0;
std::vector<unsigned char> lastFreed;

void inspect(void* pointer) {
    if (pointer && pointer == watched) {
        const auto* bytes = static_cast<const unsigned char*>(pointer);
        lastFreed.assign(bytes, bytes + watchedSize);
        watched = nullptr;
    }
}

// Storage the buffer owns, watched until it is freed.
template <class Buffer> void watch(const Buffer& buffer) {
    watched = buffer.data();
    watchedSize = buffer.size();
    lastFreed.clear();
}

} // namespace

void* operator new(std::size_t size) {
    if (void* pointer = std::malloc(size ? size : 1))
        return pointer;
    throw std::bad_alloc();
}

void operator delete(void* pointer) noexcept {
    inspect(pointer);
    std::free(pointer);
}

void operator delete(void* pointer, std::size_t) noexcept {
    inspect(pointer);
    std::free(pointer);
}

using Buffer = YS0073::YS0081<unsigned char>;

TEST(BufferTest, SizeZeroIsEmptyWithNullData) {
    const Buffer buffer(0, YS0073::WipeZero);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.capacity(), 0u);
    EXPECT_TRUE(buffer.empty());
}

TEST(BufferTest, StorageIsZeroFilledOnAllocation) {
    // Dirty the heap first, so that zeros are the buffer's doing.
    for (int i = 0; i < 8; ++i) {
        auto* dirty = static_cast<unsigned char*>(::operator new(4096));
        std::fill(dirty, dirty + 4096, 0xA5);
        ::operator delete(dirty);
    }
    Buffer buffer(4096, YS0073::WipeZero);
    ASSERT_NE(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), 4096u);
    EXPECT_EQ(buffer.capacity(), 4096u);
    EXPECT_EQ(std::vector<unsigned char>(buffer.data(), buffer.data() + 4096),
              std::vector<unsigned char>(4096, 0));
    buffer.setSize(100);
    EXPECT_EQ(std::vector<unsigned char>(buffer.data(), buffer.data() + 100),
              std::vector<unsigned char>(100, 0));
}

TEST(BufferTest, StorageIsWipedBeforeItIsFreed) {
    {
        Buffer buffer(64, YS0073::WipeZero);
        std::fill(buffer.data(), buffer.data() + 64, 0xEE);
        watch(buffer);
    }
    EXPECT_EQ(lastFreed, std::vector<unsigned char>(64, 0));

    Buffer buffer(32, YS0073::WipeZero);
    std::fill(buffer.data(), buffer.data() + 32, 0xEE);
    watch(buffer);
    buffer.release();
    EXPECT_EQ(lastFreed, std::vector<unsigned char>(32, 0));
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.capacity(), 0u);

    buffer.setSize(16);
    std::fill(buffer.data(), buffer.data() + 16, 0xEE);
    watch(buffer);
    buffer.setSize(8);
    EXPECT_EQ(lastFreed, std::vector<unsigned char>(16, 0));
}

TEST(BufferTest, OtherModesNeitherFillNorWipe) {
    Buffer buffer(16, YS0073::WipeNone);
    std::fill(buffer.data(), buffer.data() + 16, 0xEE);
    watch(buffer);
    buffer.release();
    EXPECT_EQ(lastFreed, std::vector<unsigned char>(16, 0xEE));
}

TEST(BufferTest, SetSizeKeepCopiesAndWipesTheOldStorage) {
    Buffer buffer(4, YS0073::WipeZero);
    for (unsigned char i = 0; i < 4; ++i)
        buffer.data()[i] = static_cast<unsigned char>(i + 1);
    watch(buffer);
    buffer.setSizeKeep(6);
    EXPECT_EQ(lastFreed, std::vector<unsigned char>(4, 0));
    EXPECT_EQ(std::vector<unsigned char>(buffer.data(), buffer.data() + 6),
              (std::vector<unsigned char>{1, 2, 3, 4, 0, 0}));
    buffer.setSizeKeep(2);
    EXPECT_EQ(std::vector<unsigned char>(buffer.data(), buffer.data() + 2),
              (std::vector<unsigned char>{1, 2}));
    EXPECT_EQ(buffer.size(), 2u);
    buffer.setSizeKeep(0);
    EXPECT_EQ(buffer.data(), nullptr);
}

TEST(BufferTest, TheDestructorIsVirtual) {
    std::unique_ptr<YS0073::YS0080<unsigned char>> base(new Buffer(8));
    EXPECT_EQ(base->size(), 8u);
    EXPECT_EQ(base->wipeMode(), YS0073::WipeZero);
}
