#include "jni/context.h"

#include "jni/guards.h"
#include "jni/state.h"

#include <cstring>
#include <limits>

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

_tbO::_tbO(JNIEnv* env, jobject callerObject) : _tpd(env), callerObject(callerObject) {}

bool _tbO::logs(jint level) const {
    return callerObject && level >= logThreshold.load();
}

bool _tbO::log(jint level, const kbs::StringBase<char>& text) {
    if (!logs(level))
        return true;
    PendingException pending(env);
    const jstring line = env->NewStringUTF(text.c_str());
    if (pending.collect())
        return true;
    const jclass runtime = runtimeClass(env);
    const jmethodID method =
        runtime ? env->GetMethodID(runtime, "log", "(ILjava/lang/String;)I") : nullptr;
    if (!method) {
        env->ExceptionClear();
        logThreshold = std::numeric_limits<jint>::max();
        return false;
    }
    logThreshold = env->CallIntMethod(callerObject, method, level, line);
    return true;
}

} // namespace kelo
