#include "jni/context.h"

#include "jni/guards.h"
#include "jni/state.h"

#include <cstring>
#include <limits>
#include <utility>

namespace kelo {

namespace {

// A new context's header: a current container of class kind 0 with no options. Bytes that
// nothing reads before a real header is copied in are zero.
ContainerHeader initialHeader() {
    ContainerHeader header{};
    std::memcpy(header.signature, "KELOCLSF", sizeof header.signature);
    header.formatVersion.set(CurrentFormatVersion);
    header.headerLength.set(CurrentHeaderLength);
    return header;
}

} // namespace

_tpd::_tpd(JNIEnv* env) : env(env), header(initialHeader()) {}

_tbO::_tbO(JNIEnv* env, jobject callerObject)
    : _tpd(env), heldCaller(env, nullptr), callerObject(callerObject) {}

_tbO::_tbO(JNIEnv* env, const GlobalRef<jobject>& hookRuntime)
    : _tpd(env), heldClass(std::in_place, runtimeClassRef.local(env)),
      heldCaller(heldClass->get() ? hookRuntime.local(env) : LocalRef<jobject>(env, nullptr)),
      callerObject(heldCaller.get()) {}

jclass _tbO::runtimeClass() {
    if (!heldClass || !heldClass->get())
        heldClass.emplace(kelo::runtimeClass(env));
    return heldClass->get();
}

bool _tbO::logs(jint level) const {
    return callerObject && level >= logThreshold.load();
}

bool _tbO::log(jint level, const kbs::StringBase<char>& text) {
    if (!logs(level))
        return true;
    PendingException pending(env);
    const LocalRef<jstring> line(env, env->NewStringUTF(text.c_str()));
    if (pending.collect())
        return true;
    const jclass runtime = runtimeClass();
    const jmethodID method =
        runtime ? env->GetMethodID(runtime, "log", "(ILjava/lang/String;)I") : nullptr;
    if (!method) {
        env->ExceptionClear();
        logThreshold = std::numeric_limits<jint>::max();
        return false;
    }
    logThreshold = env->CallIntMethod(callerObject, method, level, line.get());
    return true;
}

} // namespace kelo
