#include "jni/state.h"

namespace kelo {

kbs::StringBase<char> applicationName;

GlobalRef<jobject> nativeWorkerRef;
GlobalRef<jclass> runtimeClassRef;
GlobalRef<jobject> hookRuntimeRef;

std::atomic<jvmtiEnv*> hookToolEnv{nullptr};
std::atomic<jint> logThreshold{0};
std::atomic<jint> runtimeBuild{-1};
std::atomic<bool> threadSuspension{false};
std::atomic<bool> versionGatePending{true};
std::atomic<bool> startMessageSent{false};
std::atomic<jmethodID> suspendThreadsId{nullptr};
std::atomic<jmethodID> resumeThreadsId{nullptr};

void releaseGlobalRefs(JNIEnv* env) {
    runtimeClassRef.reset(env);
    hookRuntimeRef.reset(env);
    nativeWorkerRef.reset(env);
}

} // namespace kelo
