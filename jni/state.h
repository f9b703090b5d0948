// The bridge's module-global state: one copy per process, shared by all Java threads without a
// lock. Values that threads read and write concurrently are atomic; each flag only ever changes
// once, and of two racing first uses either result is right.
#ifndef KELO_JNI_STATE_H
#define KELO_JNI_STATE_H

#include "jni/guards.h"
#include "kbs/strings.h"

#include <jni.h>
#include <jvmti.h>

#include <atomic>

namespace kelo {

// Set by iSetApplicationName, under kbs::libraryLock(): a string cannot be atomic, and two
// threads assigning it at once would corrupt it. Nothing in the library reads it.
extern kbs::StringBase<char> applicationName;

// Released by releaseGlobalRefs (iCleanUp), the hook runtime also by a new hook set-up; read as
// local references (GlobalRef::local), as another thread may release them at any time.
extern GlobalRef<jobject> nativeWorkerRef;
extern GlobalRef<jclass> runtimeClassRef;
extern GlobalRef<jobject> hookRuntimeRef;

// The tool environment of the class-load hook, got by the first set-up that reaches the tool
// interface: every later set-up registers on it again rather than asking for another, as each
// GetEnv makes a new environment with a callback of its own. Kept for the life of the JVM, as the
// hook is; iCleanUp leaves it.
extern std::atomic<jvmtiEnv*> hookToolEnv;

// The lowest log level still sent to Java: what the Java log method last answered.
extern std::atomic<jint> logThreshold;
// The runtime's build number; -1 until asked.
extern std::atomic<jint> runtimeBuild;
// Once on, error reports are bracketed by the worker's suspendThreads and resumeThreads.
extern std::atomic<bool> threadSuspension;
// Set at load; cleared the first time the Java version gate passes, never set again.
extern std::atomic<bool> versionGatePending;
// Set by the first container that the pipeline processes, which sends MessageStart.
extern std::atomic<bool> startMessageSent;
// Resolved from the first worker's class and kept for the process.
extern std::atomic<jmethodID> suspendThreadsId;
extern std::atomic<jmethodID> resumeThreadsId;

// Deletes the runtime class, hook runtime and native worker references, in this order, and
// leaves the slots empty. Everything else survives.
void releaseGlobalRefs(JNIEnv* env);

} // namespace kelo

#endif
