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
}

#endif
