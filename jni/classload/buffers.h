// Owned buffers for class bytes and scratch copies of packed streams. In wipe mode 1 the storage is
// zero-filled when allocated and overwritten with zeros before it is freed, so that decoded class
// bytes do not linger in freed memory. Allocation failure throws std::bad_alloc. Storage comes from
// and goes back to bufferStorage, a process-wide pair of functions that tests may replace.
#ifndef KELO_JNI_CLASSLOAD_BUFFERS_H
#define KELO_JNI_CLASSLOAD_BUFFERS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace YS0073 {

constexpr std::uint32_t WipeNone = 0;
constexpr std::uint32_t WipeZero = 1;

// Zeros that the compiler may not drop as dead stores before a free: the empty assembly statement
// counts as reading all memory through the pointer, so the memset must have happened.
inline void wipeBytes(void* bytes, std::size_t count) {
    if (!count)
        return;
    std::memset(bytes, 0, count);
    __asm__ __volatile__("" : : "r"(bytes) : "memory");
}

// Where every YS0080 gets its storage and returns it, and zlib its blocks while it inflates class
// bytes (pipeline.cpp): ::operator new and ::operator delete, unless a test installs its own pair
// to watch blocks come and go (release receives the block with the size it was allocated with, in
// bytes). Replace the pair only while no buffer holds storage, and
// from one thread: buffers read it without a lock.
struct BufferStorage {
    void* (*allocate)(std::size_t bytes);
    void (*release)(void* block, std::size_t bytes);
};

inline void* allocateWithNew(std::size_t bytes) {
    return ::operator new(bytes);
}

inline void releaseWithDelete(void* block, std::size_t) {
    ::operator delete(block);
}

inline BufferStorage bufferStorage{allocateWithNew, releaseWithDelete};

template <class T> class YS0080 {
    static_assert(std::is_trivially_copyable<T>::value, "raw storage, copied and wiped bytewise");

public:
    // Size 0 gives an empty buffer with null data; otherwise size and capacity are `size`.
    explicit YS0080(std::uint32_t size = 0, std::uint32_t wipeMode = WipeZero) : wipe(wipeMode) {
        allocate(size);
    }
    virtual ~YS0080() { release(); }
    YS0080(const YS0080&) = delete;
    YS0080& operator=(const YS0080&) = delete;

    T* data() { return storage; }
    const T* data() const { return storage; }
    std::uint32_t size() const { return used; }
    std::uint32_t capacity() const { return allocated; }
    std::uint32_t wipeMode() const { return wipe; }
    bool empty() const { return used == 0; }

    // Wipes (mode 1) and frees the storage; the buffer is then empty with null data.
    void release() {
        if (storage && owns) {
            if (wipe == WipeZero)
                wipeBytes(storage, std::size_t{used} * sizeof(T));
            bufferStorage.release(storage, std::size_t{allocated} * sizeof(T));
        }
        storage = nullptr;
        used = 0;
        allocated = 0;
    }

    // New storage of `size` elements; the old contents are released first.
    void setSize(std::uint32_t size) {
        release();
        allocate(size);
    }

    // New storage of `size` elements holding as many of the old ones as fit; the old storage is
    // wiped (mode 1) and freed. On allocation failure the buffer is unchanged.
    void setSizeKeep(std::uint32_t size) {
        T* fresh = size ? newStorage(size) : nullptr;
        const std::uint32_t kept = used < size ? used : size;
        if (kept)
            std::memcpy(fresh, storage, std::size_t{kept} * sizeof(T));
        release();
        storage = fresh;
        used = allocated = size;
    }

private:
    T* newStorage(std::uint32_t size) {
        T* fresh = static_cast<T*>(bufferStorage.allocate(std::size_t{size} * sizeof(T)));
        if (wipe == WipeZero)
            std::memset(fresh, 0, std::size_t{size} * sizeof(T));
        return fresh;
    }
    void allocate(std::uint32_t size) {
        if (size) {
            storage = newStorage(size);
            used = allocated = size;
        }
    }

    T* storage = nullptr;
    std::uint32_t used = 0;
    std::uint32_t allocated = 0;
    bool owns = true;
    std::uint32_t wipe;
};

// The buffer type every part of the class pipeline uses; it adds nothing to YS0080.
template <class T> class YS0081 : public YS0080<T> {
public:
    using YS0080<T>::YS0080;
};

} // namespace YS0073

#endif
