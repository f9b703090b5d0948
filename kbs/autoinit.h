// Automatic initialisers: static objects that register a heap twin while the module's statics are
// built; the twins run init() at process attach and exit() at shutdown, in registration order and
// its reverse.
#ifndef KBS_AUTOINIT_H
#define KBS_AUTOINIT_H

#include <new>
#include <vector>

namespace kbs {

class AutoInitBase {
public:
    virtual ~AutoInitBase() = default;
    virtual void init() = 0;
    virtual void exit() = 0;
};

// Takes ownership of `entry` and appends it to the registry. Out of memory drops the entry: its
// object is then created on first use by its accessor.
void registerAutoInit(AutoInitBase* entry) noexcept;

// Runs init() on every registered initialiser in order.
void runAutoInits();

// Initialisers in registration order; null before the first registration and after shutdown().
const std::vector<AutoInitBase*>* autoInitRegistry();

template <class T> class AutoInit final : public AutoInitBase {
public:
    AutoInit() { registerAutoInit(new (std::nothrow) AutoInit(Registered())); }
    ~AutoInit() override { delete instance; }
    AutoInit(const AutoInit&) = delete;
    AutoInit& operator=(const AutoInit&) = delete;

    void init() override {
        if (instance)
            return;
        try {
            instance = new T();
        } catch (const std::bad_alloc&) {
            instance = nullptr;
        }
    }
    void exit() override {
        delete instance;
        instance = nullptr;
    }

private:
    struct Registered {};
    explicit AutoInit(Registered) {}

    T* instance = nullptr;
};

} // namespace kbs

#endif
