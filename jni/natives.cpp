#include "jni/natives.h"

#include "jni/guards.h"
#include "jni/state.h"
#include "kbs/criticalsection.h"

#include <new>

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
    if (!kelo::nativeWorkerRef.get())
        kelo::nativeWorkerRef.adopt(env, worker);
    return 0;
}

JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iCleanUp(JNIEnv* env, jobject) {
    kelo::releaseGlobalRefs(env);
    return 0;
}
}
