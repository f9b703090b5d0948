// The native methods of com.kelo.rvs.Runtime that work on the JNI environment alone. Each answers
// a small code and leaves any Java exception raised by its JNI calls pending for the Java caller.
#ifndef KELO_JNI_NATIVES_H
#define KELO_JNI_NATIVES_H

#include <jni.h>

extern "C" {

// Calls holder.set(9, 0, 1220, 500, 2013, 10, 28): file version, then build date. 0 done; 1 the
// holder's class cannot be obtained; 2 it has no method set "(IIIIIII)V".
JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iGetVersion(JNIEnv* env, jobject runtime,
                                                             jobject holder);

// 0 stored; 1 nothing stored (null name).
JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iSetApplicationName(JNIEnv* env, jobject runtime,
                                                                     jstring name);

// Registers the worker whose suspendThreads and resumeThreads bracket error reports. The first
// worker stays until iCleanUp. Always 0.
JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iSetNativeWorker(JNIEnv* env, jobject runtime,
                                                                  jobject worker);

// Drops the global references; the library stays usable. Always 0.
JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iCleanUp(JNIEnv* env, jobject runtime);

// Defines a class from data under the given name (internal form, with slashes) and loader: a class
// container is decoded first, anything else is defined as it is. Below runtime build 99 the call
// holds the monitor of the runtime's class. Answers the class, or null: the container could not be
// decoded (reported to the runtime object), the JVM refused the bytes (its exception is pending),
// or name or data is null.
JNIEXPORT jclass JNICALL Java_com_kelo_rvs_Runtime_iLoadClass(JNIEnv* env, jobject runtime,
                                                              jobject loader, jstring name,
                                                              jbyteArray data);

// Installs the class-load hook that mode names, "T" (tool interface) or "P" (profiler interface),
// in either case, reporting to this runtime. Answers the set-up's result (jni/context.h); 1 mode
// is null or not one character; 2 unknown letter; -1 also when the set-up failed with an
// exception, as the hook may not have been registered.
JNIEXPORT jint JNICALL Java_com_kelo_rvs_Runtime_iSetNativeHook(JNIEnv* env, jobject runtime,
                                                                jstring mode);
}

#endif
