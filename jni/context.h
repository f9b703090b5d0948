// The per-call context: everything one native call or hook callback works with. Built on the
// calling thread's stack and destroyed before the call returns; never shared or copied.
#ifndef KELO_JNI_CONTEXT_H
#define KELO_JNI_CONTEXT_H

#include "jni/callbacks.h"
#include "jni/classload/container.h"
#include "kbs/strings.h"

#include <jni.h>

#include <atomic>
#include <cstdint>

namespace kelo {

// Log levels; higher is more severe. Java may use any value as its threshold.
constexpr jint LogInfo = 800;
constexpr jint LogError = 1000;

class _tpd {
public:
    _tpd(const _tpd&) = delete;
    _tpd& operator=(const _tpd&) = delete;
    virtual ~_tpd() = default;

    virtual bool log(jint level, const kbs::StringBase<char>& text) = 0;

    // The payload of the container being processed, set by the container check.
    const unsigned char* payload = nullptr;
    std::uint32_t payloadLength = 0;
    JNIEnv* const env;
    ContainerHeader header;
    kbs::StringBase<char> className;

protected:
    explicit _tpd(JNIEnv* env);
};

// A context whose callbacks go to callerObject, the runtime object; with a null caller nothing is
// logged or sent. Every operation may be entered with a Java exception pending: it sets the
// exception aside for its own JNI calls and leaves the first one raised pending on return.
class _tbO : public _tpd {
public:
    // Makes no JNI call.
    _tbO(JNIEnv* env, jobject callerObject);

    // Sends the line as it is to the Java log method unless its level is below the threshold,
    // and takes Java's answer as the new threshold. False only when the runtime class or its log
    // method is missing; logging is then off for the rest of the process.
    bool log(jint level, const kbs::StringBase<char>& text) override;

    // The runtime's build number, asked from Java once per process; 0 when it cannot be had.
    jint queryRuntimeBuild();
    // The native worker's suspendThreads and resumeThreads. True when thread suspension is off or
    // the method answered 0.
    bool callSuspendThreads();
    bool callResumeThreads();
    // Calls the row's method on the runtime object; answers its result, or 0.
    jint sendMessage(MessageRow row, const kbs::StringBase<char>& text);

    kbs::StringBase<char> messageText;
    const jobject callerObject;

private:
    bool callWorker(std::atomic<jmethodID>& id, const char* name);
};

} // namespace kelo

#endif
