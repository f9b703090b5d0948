#include "bridge.h"

#include "check.h"

#include "jni/natives.h"
#include "jni/state.h"

#include <iterator>

namespace {

// Three numbers, fewer, a suffix, none at all (null), and versions at both ends of the range.
const char* const javaVersions[] = {"17.0.9", "1.8.0_402", "21",    "10-ea",
                                    "",       nullptr,     "1.6.0", "99.255.65535"};

bool gtestFailed() {
    return ::testing::UnitTest::GetInstance()->ad_hoc_test_result().Failed();
}

} // namespace

FakeBridge::FakeBridge(std::uint8_t options, std::uint8_t versionChoice)
    : runtimeClass(jni.addClass("com/kelo/rvs/Runtime")), runtime(jni.newObject(runtimeClass)),
      loader(jni.newObject(jni.addClass("java/lang/ClassLoader"))) {
    fake::Method& log = runtimeClass.method("log", "(ILjava/lang/String;)I");
    if (options & LogThrows)
        log.throws = "java/lang/IllegalStateException";
    runtimeClass.method("getRvsJavaRuntimeBuild", "()I", options & OldRuntime ? 98 : 123);
    runtimeClass.method("messageStart", "()I", 5);
    runtimeClass.method("errorUnspecified", "(Ljava/lang/String;)I", 7).missing =
        (options & MessagesMissing) != 0;
    fake::Class& system = jni.addClass("java/lang/System");
    system.method("getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    system.method("exit", "(I)V");
    if (const char* version = javaVersions[versionChoice % std::size(javaVersions)])
        jni.systemProperties["java.version"] = version;

    kelo::logThreshold = 0;
    kelo::runtimeBuild = -1;
    kelo::threadSuspension = (options & SuspensionOn) != 0;
    kelo::versionGatePending = (options & GatePending) != 0;
    kelo::startMessageSent = false;
    kelo::suspendThreadsId = nullptr;
    kelo::resumeThreadsId = nullptr;
    if (options & WorkerPresent) {
        fake::Class& workerClass = jni.addClass("Worker");
        workerClass.method("suspendThreads", "()I");
        workerClass.method("resumeThreads", "()I");
        Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, jni.newObject(workerClass));
    }
}

FakeBridge::~FakeBridge() {
    // The first exception a native leaves pending is the Java caller's to see.
    jni.pending = nullptr;
    Java_com_kelo_rvs_Runtime_iCleanUp(env, runtime);
    FUZZ_CHECK(jni.globalRefs.empty());
    FUZZ_CHECK(jni.heldUtfChars == 0);
    FUZZ_CHECK(jni.heldArrayElements == 0);
    FUZZ_CHECK(jni.monitorDepth == 0);
    for (const std::string& violation : jni.violations)
        std::fprintf(stderr, "JNI misuse: %s\n", violation.c_str());
    FUZZ_CHECK(jni.violations.empty());
    FUZZ_CHECK(!gtestFailed());
}
