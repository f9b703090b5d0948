// Process-wide objects that are created on first use and deleted at shutdown in reverse order of
// creation, independent of the order in which the module's static objects are built and torn down.
#ifndef KBS_SINGLETON_H
#define KBS_SINGLETON_H

#include <atomic>
#include <memory>
#include <vector>

namespace kbs {

// Registers itself on construction; shutdown() deletes the registered objects, newest first.
class Singleton {
public:
    Singleton();
    virtual ~Singleton() = default;
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;
};

// Owns one process-wide instance and the accessor slot that publishes it. Deleting the owner
// empties the slot too, so an accessor called after shutdown creates a fresh instance instead of
// handing out a dangling one.
template <class T> class TSingleton final : public Singleton {
public:
    TSingleton(T* instance, std::atomic<T*>& slot) : instance(instance), slot(slot) {}
    ~TSingleton() override {
        T* published = instance;
        slot.compare_exchange_strong(published, nullptr);
        delete instance;
        instance = nullptr;
    }

private:
    T* instance;
    std::atomic<T*>& slot;
};

// The accessor pattern of every process-wide object: the first caller creates the instance with
// `make` and registers its owner. Threads that race on first use agree on one instance; the
// losers' instances are discarded. No lock is held while `make` runs, so a constructor may use
// other process-wide objects.
template <class T, class Make> T& processWide(std::atomic<T*>& slot, Make make) {
    if (T* existing = slot.load(std::memory_order_acquire))
        return *existing;
    std::unique_ptr<T> created = make();
    T* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, created.get(), std::memory_order_acq_rel))
        return *expected;
    T* instance = created.release();
    new TSingleton<T>(instance, slot);
    return *instance;
}

template <class T> T& processWide(std::atomic<T*>& slot) {
    return processWide(slot, [] { return std::make_unique<T>(); });
}

// For a process-wide object that someone else may make too (an automatic initialiser that owns
// it): the first object constructed while none is current becomes current, and destroying it leaves
// none. obtain() makes one when there is none, owned by a singleton and so deleted at shutdown.
template <class T> class CurrentInstance {
public:
    constexpr CurrentInstance() = default;
    CurrentInstance(const CurrentInstance&) = delete;
    CurrentInstance& operator=(const CurrentInstance&) = delete;

    // Called by T's constructor and destructor.
    void claim(T* object) {
        T* none = nullptr;
        slot.compare_exchange_strong(none, object, std::memory_order_acq_rel);
    }
    void release(T* object) {
        slot.compare_exchange_strong(object, nullptr, std::memory_order_acq_rel);
    }

    T* get() const { return slot.load(std::memory_order_acquire); }

    T& obtain() {
        for (;;) {
            if (T* existing = get())
                return *existing;
            // Threads racing here each make one; only the one that became current is kept, and
            // the others were never seen by anybody.
            auto made = std::make_unique<T>();
            if (get() == made.get()) {
                T* kept = made.release();
                new TSingleton<T>(kept, slot);
                return *kept;
            }
        }
    }

private:
    std::atomic<T*> slot{nullptr};
};

// Singletons in creation order; null before the first registration and after shutdown().
const std::vector<Singleton*>* singletonRegistry();

} // namespace kbs

#endif
