// Owners of JNI resources: each releases what it acquired on every path out of a scope. None has
// a default constructor where an empty guard would only hide a missing acquisition.
#ifndef KELO_JNI_GUARDS_H
#define KELO_JNI_GUARDS_H

#include <jni.h>

#include <atomic>
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

// A slot of the module state that owns one global reference. Deleting a global reference needs
// an environment, so only reset() releases it; what is still held at process end goes with the
// JVM. Threads share the slot without a lock.
template <class T> class GlobalRef {
public:
    constexpr GlobalRef() = default;
    GlobalRef(const GlobalRef&) = delete;
    GlobalRef& operator=(const GlobalRef&) = delete;

    T get() const { return ref.load(std::memory_order_acquire); }

    // Stores a new global reference to `local` unless the slot is taken; answers the reference
    // the slot holds afterwards. Of two threads racing here one wins and the other's reference is
    // deleted again.
    T adopt(JNIEnv* env, T local) {
        T global = static_cast<T>(env->NewGlobalRef(local));
        if (!global)
            return get();
        T expected = nullptr;
        if (ref.compare_exchange_strong(expected, global, std::memory_order_acq_rel))
            return global;
        env->DeleteGlobalRef(global);
        return expected;
    }

    void reset(JNIEnv* env) {
        if (T old = ref.exchange(nullptr, std::memory_order_acq_rel))
            env->DeleteGlobalRef(old);
    }

private:
    std::atomic<T> ref{nullptr};
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
