// The per-call context: everything one native call or hook callback works with. Built on the
// calling thread's stack and destroyed before the call returns; never shared or copied.
#ifndef KELO_JNI_CONTEXT_H
#define KELO_JNI_CONTEXT_H

#include "jni/callbacks.h"
#include "jni/classload/buffers.h"
#include "jni/classload/container.h"
#include "jni/guards.h"
#include "kbs/strings.h"

#include <jni.h>

#include <atomic>
#include <cstdint>
#include <optional>

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
    // The runtime class, held from its first use (runtimeClass) to the context's end.
    std::optional<LocalRef<jclass>> heldClass;
    // A hook callback's runtime object (second constructor); null otherwise.
    const LocalRef<jobject> heldCaller;

public:
    // Makes no JNI call.
    _tbO(JNIEnv* env, jobject callerObject);
    // A hook callback's context: reports to the runtime object in hookRuntime through the
    // runtime class that the hook's set-up cached, both held until the context ends, so that a
    // clean-up meanwhile takes neither away. Without the cached class the context reports nothing:
    // a lookup inside a callback would search the loader of whatever started the load, which may
    // not see the class.
    _tbO(JNIEnv* env, const GlobalRef<jobject>& hookRuntime);

    // Sends the line as it is to the Java log method unless its level is below the threshold,
    // and takes Java's answer as the new threshold. False only when the runtime class or its log
    // method is missing; logging is then off for the rest of the process.
    bool log(jint level, const kbs::StringBase<char>& text) override;
    // Whether log would send a line of that level now: a text built only for the log can wait.
    bool logs(jint level) const;

    // The runtime class (jni/callbacks.h) for this context's calls into Java, held once found.
    jclass runtimeClass();
    // The runtime's build number, asked from Java once per process; 0 when it cannot be had.
    jint queryRuntimeBuild();
    // The native worker's suspendThreads and resumeThreads. True when thread suspension is off or
    // the method answered 0.
    bool callSuspendThreads();
    bool callResumeThreads();
    // Calls the row's method on the runtime object; answers its result, or 0.
    jint sendMessage(MessageRow row, const kbs::StringBase<char>& text);

    // Class loading: the container check, the Java version gate and the class pipeline.
    //
    // Not a container (below 75 bytes, no "KELOCLSF"): false, silent. Format version 0 or above 3:
    // false after the logged and reported text. Class kind 0 while versionGatePending is set:
    // runs the gate, whose failure is reported and ends the JVM (System.exit(1)); false if that
    // returns. True: header copied (at most 75 bytes), payload = bytes + headerLength; a header
    // length past the end gives an empty payload at bytes + length, which processClass refuses.
    bool checkContainer(const unsigned char* bytes, std::uint32_t length);
    // Whether the running "java.version" lies within the header's minimum and maximum; on false,
    // messageText ends with the reason. Throws kbs::Exception when the version does not parse.
    bool checkJavaVersion();
    // The value of a Java system property in modified UTF-8; empty when it cannot be read.
    kbs::StringBase<char> getSystemProperty(const char* key);
    // Logs "Processing <className>", then turns the accepted container into class bytes: out[0..3]
    // CA FE BA BE, then the decoded payload. out holds size (= classSize) bytes and InflateRoom
    // (jni/classload/pipeline.h) more; it may be null
    // when size is below 32 or containerSizesFit (jni/classload/pipeline.h) is false, as nothing is
    // written then. False is reported already, or silent (size below 32, CRC mismatch).
    bool processClass(unsigned char* out, std::uint32_t size);
    // Sizes output (wipe mode 1) to classSize and InflateRoom, or to nothing when the payload
    // cannot satisfy the header's sizes, and runs processClass on it. The way iLoadClass calls the
    // pipeline; the class is output's first classSize bytes.
    bool processClass(YS0073::YS0081<unsigned char>& output);
    // Fills out[4..size-1] from the payload (inflated or copied) and checks the CRC if asked.
    bool decodePayload(unsigned char* out, std::uint32_t size);
    // CRC-32 of gzip and zlib.
    static std::uint32_t computeCrc32(const unsigned char* bytes, std::uint32_t length);

    // Class-load hooks (jni/classload/hooks.h). The runtime class is resolved first, as the
    // callbacks cannot look it up; hookRuntimeRef then names this context's caller object.
    // JVMTI: 0 registered, 1 no tool interface, -1 callbacks or event refused. JVMPI: 0 registered,
    // 3 no profiler interface (any current JDK). Failures are sent as ErrorUnspecified, not logged.
    jint installJvmtiHook();
    jint installJvmpiHook();

    kbs::StringBase<char> messageText;
    const jobject callerObject;

private:
    bool callWorker(std::atomic<jmethodID>& id, const char* name);
};

} // namespace kelo

#endif
