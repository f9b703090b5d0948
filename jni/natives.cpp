#include "jni/natives.h"

#include "jni/context.h"
#include "jni/guards.h"
#include "jni/state.h"
#include "kbs/criticalsection.h"
#include "kbs/exceptions.h"

#include <cstring>
#include <new>
#include <optional>
#include <vector>

extern "C" {

JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iGetVersion(JNIEnv* env, jobject, jobject holder) {
    if (!holder)
        return 1;
    const kelo::LocalRef<jclass> holderClass(env, env->GetObjectClass(holder));
    if (!holderClass)
        return 1;
    const jmethodID set = env->GetMethodID(holderClass.get(), "set", "(IIIIIII)V");
    if (!set)
        return 2;
    env->CallVoidMethod(holder, set, jint{9}, jint{0}, jint{1220}, jint{500}, jint{2013}, jint{10},
                        jint{28});
    return 0;
}

JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iSetApplicationName(JNIEnv* env, jobject,
                                                                     jstring name) {
    const kelo::UtfChars chars(env, name);
    // Without characters (null name, or the JVM's OutOfMemoryError pending) nothing is stored.
    if (!chars.chars())
        return 1;
    try {
        kbs::CriticalSection::ScopedLock lock(kbs::libraryLock());
        kelo::applicationName = chars.chars();
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iSetNativeWorker(JNIEnv* env, jobject,
                                                                  jobject worker) {
    if (!kelo::nativeWorkerRef.held())
        kelo::nativeWorkerRef.adopt(env, worker);
    return 0;
}

JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iCleanUp(JNIEnv* env, jobject) {
    kelo::releaseGlobalRefs(env);
    return 0;
}

JNIEXPORT jclass JNICALL Java_com_kelo_rvs_Runtime_iLoadClass(JNIEnv* env, jobject runtime,
                                                              jobject loader, jstring name,
                                                              jbyteArray data) {
    if (!name || !data)
        return nullptr;
    // Destroyed in reverse: the array, name and buffer go first, then the monitor is left, then
    // the first Java exception set aside is raised again, then the context goes.
    kelo::_tbO context(env, runtime);
    kelo::PendingException pending(env);
    std::optional<kelo::LocalRef<jclass>> runtimeType;
    std::optional<kelo::MonitorGuard> monitor;
    if (context.queryRuntimeBuild() < 99) {
        pending.collect();
        runtimeType.emplace(env, env->GetObjectClass(runtime));
        if (*runtimeType)
            monitor.emplace(env, runtimeType->get());
    }
    pending.collect();
    try {
        const jsize nameLength = env->GetStringUTFLength(name);
        std::vector<char> nameCopy(static_cast<std::size_t>(nameLength) + 1);
        {
            const kelo::UtfChars chars(env, name);
            if (!chars.chars())
                return nullptr;
            std::memcpy(nameCopy.data(), chars.chars(), nameCopy.size());
        }
        const jsize length = env->GetArrayLength(data);
        const kelo::ByteArrayElements bytes(env, data);
        if (!bytes.elements())
            return nullptr;
        context.className = nameCopy.data();

        jclass defined = nullptr;
        const auto* candidate = reinterpret_cast<const unsigned char*>(bytes.elements());
        if (!context.checkContainer(candidate, static_cast<std::uint32_t>(length))) {
            pending.collect();
            defined = env->DefineClass(nameCopy.data(), loader, bytes.elements(), length);
        } else {
            YS0073::YS0081<unsigned char> buffer(0, YS0073::WipeZero);
            const bool processed = context.processClass(buffer);
            pending.collect();
            if (processed)
                defined = env->DefineClass(nameCopy.data(), loader,
                                           reinterpret_cast<const jbyte*>(buffer.data()),
                                           static_cast<jsize>(context.header.classSize.value()));
        }
        return defined;
    } catch (const kbs::Exception&) {
        return nullptr;
    } catch (...) {
        // Out of memory, or anything else: nothing may cross into the JVM.
        return nullptr;
    }
}

JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iSetNativeHook(JNIEnv* env, jobject runtime,
                                                                jstring mode) {
    if (!mode || env->GetStringLength(mode) != 1)
        return 1;
    char letter;
    {
        const kelo::UtfChars chars(env, mode);
        // The JVM's OutOfMemoryError is pending: no set-up can run.
        if (!chars.chars())
            return 0;
        letter = chars.chars()[0];
    }
    try {
        kelo::_tbO context(env, runtime);
        // Only ASCII letters fold: the first byte of any other character matches neither.
        switch (letter) {
        case 'T':
        case 't':
            return context.installJvmtiHook();
        case 'P':
        case 'p':
            return context.installJvmpiHook();
        default:
            return 2;
        }
    } catch (...) {
        // kbs::Exception, out of memory: nothing may cross into the JVM, and a set-up cut short
        // has not registered the hook.
        return -1;
    }
}
}
