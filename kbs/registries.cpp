// The two process-wide registries. They are plain pointers, constant-initialised, so that static
// objects of any translation unit can register before this one's dynamic initialisation.
#include "kbs/autoinit.h"
#include "kbs/singleton.h"
#include "kbs/startup.h"

#include <atomic>

namespace kbs {

namespace {

std::vector<AutoInitBase*>* autoInits = nullptr;
std::vector<Singleton*>* singletons = nullptr;

// Guards the registries only; never held while an object is created or deleted.
std::atomic_flag registryBusy = ATOMIC_FLAG_INIT;

class RegistryLock {
public:
    RegistryLock() {
        while (registryBusy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~RegistryLock() { registryBusy.clear(std::memory_order_release); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
};

template <class T> void append(std::vector<T*>*& registry, T* entry) {
    RegistryLock lock;
    if (!registry)
        registry = new std::vector<T*>();
    registry->push_back(entry);
}

template <class T> T* popNewest(std::vector<T*>* registry) {
    RegistryLock lock;
    if (registry->empty())
        return nullptr;
    T* newest = registry->back();
    registry->pop_back();
    return newest;
}

template <class T> std::vector<T*>* detach(std::vector<T*>*& registry) {
    RegistryLock lock;
    std::vector<T*>* detached = registry;
    registry = nullptr;
    return detached;
}

} // namespace

Singleton::Singleton() {
    append(singletons, this);
}

const std::vector<Singleton*>* singletonRegistry() {
    return singletons;
}

void registerAutoInit(AutoInitBase* entry) noexcept {
    if (!entry)
        return;
    try {
        append(autoInits, entry);
    } catch (const std::bad_alloc&) {
        delete entry;
    }
}

const std::vector<AutoInitBase*>* autoInitRegistry() {
    return autoInits;
}

void runAutoInits() {
    // Registration happens during static construction, so the list is stable by now.
    if (autoInits) {
        for (AutoInitBase* entry : *autoInits)
            entry->init();
    }
}

void shutdown() noexcept {
    if (std::vector<AutoInitBase*>* finishing = detach(autoInits)) {
        for (auto entry = finishing->rbegin(); entry != finishing->rend(); ++entry) {
            (*entry)->exit();
            delete *entry;
        }
        delete finishing;
    }
    // A destructor may still create a singleton; it is appended and deleted in the same walk.
    if (singletons) {
        while (Singleton* newest = popNewest(singletons))
            delete newest;
        delete detach(singletons);
    }
}

} // namespace kbs
