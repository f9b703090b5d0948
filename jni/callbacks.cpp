#include "jni/callbacks.h"

#include "jni/context.h"
#include "jni/guards.h"
#include "jni/state.h"

namespace kelo {

namespace {

struct Message {
    const char* name;
    const char* signature;
    bool passesText;
    bool bracketed;
    // Else a missing method is only cleared.
    bool reportMissing;
};

constexpr Message messages[] = {
    {"messageStart", "()I", false, false, false},
    {"errorUnspecified", "(Ljava/lang/String;)I", true, true, true},
};

} // namespace

LocalRef<jclass> runtimeClass(JNIEnv* env) {
    LocalRef<jclass> known = runtimeClassRef.local(env);
    if (known)
        return known;
    LocalRef<jclass> found(env, env->FindClass("com/kelo/rvs/Runtime"));
    if (found)
        runtimeClassRef.adopt(env, found.get());
    else
        // Every caller copes with a missing class, and most go on with JNI work (defining a
        // class, calling Java) that a pending NoClassDefFoundError would break.
        env->ExceptionClear();
    return found;
}

jint _tbO::queryRuntimeBuild() {
    const jint known = runtimeBuild.load();
    if (known != -1)
        return known;
    if (!callerObject)
        return 0;
    PendingException pending(env);
    const jclass runtime = runtimeClass();
    const jmethodID method =
        runtime ? env->GetMethodID(runtime, "getRvsJavaRuntimeBuild", "()I") : nullptr;
    if (!method) {
        env->ExceptionClear();
        runtimeBuild = 0;
        return 0;
    }
    const jint build = env->CallIntMethod(callerObject, method);
    runtimeBuild = build;
    return build;
}

bool _tbO::callSuspendThreads() {
    return callWorker(suspendThreadsId, "suspendThreads");
}

bool _tbO::callResumeThreads() {
    return callWorker(resumeThreadsId, "resumeThreads");
}

bool _tbO::callWorker(std::atomic<jmethodID>& id, const char* name) {
    if (!threadSuspension.load())
        return true;
    PendingException pending(env);
    const LocalRef<jobject> worker = nativeWorkerRef.local(env);
    if (!worker)
        return false;
    jmethodID method = id.load();
    if (!method) {
        const LocalRef<jclass> workerClass(env, env->GetObjectClass(worker.get()));
        method = workerClass ? env->GetMethodID(workerClass.get(), name, "()I") : nullptr;
        // The failed lookup's exception stays pending for the Java caller.
        if (!method)
            return false;
        id = method;
    }
    const jint answer = env->CallIntMethod(worker.get(), method);
    return !pending.collect() && answer == 0;
}

jint _tbO::sendMessage(MessageRow row, const kbs::StringBase<char>& text) {
    if (!callerObject)
        return 0;
    const Message& message = messages[row];
    PendingException pending(env);
    const LocalRef<jstring> javaText(env, env->NewStringUTF(text.c_str()));
    if (pending.collect())
        return 0;
    const jclass runtime = runtimeClass();
    const jmethodID method =
        runtime ? env->GetMethodID(runtime, message.name, message.signature) : nullptr;
    if (!method) {
        if (!message.reportMissing) {
            env->ExceptionClear();
            return 0;
        }
        // The lookup's NoSuchMethodError is set aside while the line goes out, then left for
        // the Java caller.
        pending.collect();
        log(LogError,
            kbs::StringBase<char>("Method 'com.kelo.rvs.Runtime.") + message.name + "' not found!");
        return 0;
    }
    if (message.bracketed) {
        callSuspendThreads();
        pending.collect();
    }
    const jint result = message.passesText
                            ? env->CallIntMethod(callerObject, method, javaText.get())
                            : env->CallIntMethod(callerObject, method);
    pending.collect();
    if (message.bracketed)
        callResumeThreads();
    return result;
}

} // namespace kelo
