// Owners of JNI resources: each releases what it acquired on every path out of a scope. None has
// a default constructor where an empty guard would only hide a missing acquisition.
#ifndef KELO_JNI_GUARDS_H
#define KELO_JNI_GUARDS_H

#include <jni.h>

#include <atomic>
#include <thread>
#include <utility>

namespace kelo {

// The modified-UTF-8 characters of a Java string. chars() is null for a null string and when the
// JVM could not supply them (its OutOfMemoryError is then pending).
class UtfChars {
public:
    UtfChars(JNIEnv* env, jstring string)
        : env(env), string(string),
          characters(string ? env->GetStringUTFChars(string, nullptr) : nullptr) {}
    ~UtfChars() {
        if (characters)
            env->ReleaseStringUTFChars(string, characters);
    }
    UtfChars(UtfChars&& other) noexcept
        : env(other.env), string(other.string),
          characters(std::exchange(other.characters, nullptr)) {}
    UtfChars(const UtfChars&) = delete;
    UtfChars& operator=(const UtfChars&) = delete;
    UtfChars& operator=(UtfChars&&) = delete;

    const char* chars() const { return characters; }

private:
    JNIEnv* env;
    jstring string;
    const char* characters;
};

// A local reference deleted at the end of the scope, for places where they would pile up.
template <class T> class LocalRef {
public:
    LocalRef(JNIEnv* env, T ref) : env(env), ref(ref) {}
    ~LocalRef() {
        if (ref)
            env->DeleteLocalRef(ref);
    }
    LocalRef(LocalRef&& other) noexcept : env(other.env), ref(std::exchange(other.ref, nullptr)) {}
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;
    LocalRef& operator=(LocalRef&&) = delete;

    T get() const { return ref; }
    explicit operator bool() const { return ref != nullptr; }

private:
    JNIEnv* env;
    T ref;
};

// A slot of the module state that owns one global reference, shared by threads without a lock.
// A reference read from the slot could be deleted by another thread at once, so readers take a
// local reference of their own (local()), and a reference taken out of the slot is deleted only
// once no reader is still making one from it. Deleting needs an environment: only replace() and
// reset() release; what is still held at process end goes with the JVM.
template <class T> class GlobalRef {
public:
    constexpr GlobalRef() = default;
    GlobalRef(const GlobalRef&) = delete;
    GlobalRef& operator=(const GlobalRef&) = delete;

    bool held() const { return ref.load() != nullptr; }

    // What the slot holds, as a local reference; null when it is empty.
    LocalRef<T> local(JNIEnv* env) const {
        readers.fetch_add(1);
        const T global = ref.load();
        LocalRef<T> taken(env, global ? static_cast<T>(env->NewLocalRef(global)) : nullptr);
        readers.fetch_sub(1);
        return taken;
    }

    // Stores a global reference to `local` unless the slot holds one. Of two threads racing here
    // one wins and the other's reference is deleted again.
    void adopt(JNIEnv* env, T local) {
        const T global = static_cast<T>(env->NewGlobalRef(local));
        T expected = nullptr;
        if (global && !ref.compare_exchange_strong(expected, global))
            env->DeleteGlobalRef(global);
    }

    // Stores a global reference to `local` (none for null) in place of the slot's. The old one
    // is deleted once the readers have left local(): one JNI call that never runs Java, so the
    // wait is short, and never for a reader on this thread.
    void replace(JNIEnv* env, T local) {
        const T global = local ? static_cast<T>(env->NewGlobalRef(local)) : nullptr;
        if (const T old = ref.exchange(global)) {
            while (readers.load() != 0)
                std::this_thread::yield();
            env->DeleteGlobalRef(old);
        }
    }

    void reset(JNIEnv* env) { replace(env, nullptr); }

private:
    // Sequentially consistent throughout: a reader counts itself before it loads the slot, the
    // deleter looks at the count after it has swapped the slot.
    std::atomic<T> ref{nullptr};
    mutable std::atomic<unsigned> readers{0};
};

// The pinned elements of a Java byte array, released with mode 0 (copied back and freed).
// elements() is null for a null array and when the JVM could not supply them.
class ByteArrayElements {
public:
    ByteArrayElements(JNIEnv* env, jbyteArray array)
        : env(env), array(array),
          pinned(array ? env->GetByteArrayElements(array, nullptr) : nullptr) {}
    ~ByteArrayElements() {
        if (pinned)
            env->ReleaseByteArrayElements(array, pinned, 0);
    }
    ByteArrayElements(ByteArrayElements&& other) noexcept
        : env(other.env), array(other.array), pinned(std::exchange(other.pinned, nullptr)) {}
    ByteArrayElements(const ByteArrayElements&) = delete;
    ByteArrayElements& operator=(const ByteArrayElements&) = delete;
    ByteArrayElements& operator=(ByteArrayElements&&) = delete;

    jbyte* elements() const { return pinned; }

private:
    JNIEnv* env;
    jbyteArray array;
    jbyte* pinned;
};

// Holds the monitor of an object for the scope. entered() is false when MonitorEnter failed.
class MonitorGuard {
public:
    MonitorGuard(JNIEnv* env, jobject object)
        : env(env), object(object), isEntered(env->MonitorEnter(object) == JNI_OK) {}
    ~MonitorGuard() {
        if (isEntered)
            env->MonitorExit(object);
    }
    MonitorGuard(MonitorGuard&& other) noexcept
        : env(other.env), object(other.object), isEntered(std::exchange(other.isEntered, false)) {}
    MonitorGuard(const MonitorGuard&) = delete;
    MonitorGuard& operator=(const MonitorGuard&) = delete;
    MonitorGuard& operator=(MonitorGuard&&) = delete;

    bool entered() const { return isEntered; }

private:
    JNIEnv* env;
    jobject object;
    bool isEntered;
};

// Sets Java exceptions aside so that further JNI calls stay legal, and raises the first one again
// when the scope ends: a later failure never hides the one the Java caller should see. Construct
// it where the scope's JNI work starts, and call collect() after every call that may throw.
class PendingException {
public:
    explicit PendingException(JNIEnv* env) : env(env) { collect(); }
    ~PendingException() {
        collect();
        if (first) {
            env->Throw(first);
            env->DeleteLocalRef(first);
        }
    }
    PendingException(const PendingException&) = delete;
    PendingException& operator=(const PendingException&) = delete;

    // Answers whether an exception was raised since the last check, and takes it.
    bool collect() {
        if (!env->ExceptionCheck())
            return false;
        if (!first)
            first = env->ExceptionOccurred();
        env->ExceptionClear();
        return true;
    }

private:
    JNIEnv* env;
    jthrowable first = nullptr;
};

} // namespace kelo

#endif
