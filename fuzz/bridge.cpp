#include "bridge.h"

#include "check.h"

#include "jni/natives.h"
#include "jni/state.h"

#include <iterator>

namespace {

// Three numbers, fewer, a suffix, none at all (null), and versions at both ends of the range.
const char* const javaVersions[] = {"17.0.9", "1.8.0_402", "21",    "10-ea",
                                    "",       nullptr,     "1.6.0", "99.255.65535"};

} // namespace

FakeBridge::FakeBridge(std::uint8_t options, std::uint8_t versionChoice) {
    if (options & LogThrows)
        runtime.log.throws = "java/lang/IllegalStateException";
    runtime.build.result = options & OldRuntime ? 98 : 123;
    runtime.errorUnspecified.missing = (options & MessagesMissing) != 0;
    jni.systemProperties.clear();
    if (const char* version = javaVersions[versionChoice % std::size(javaVersions)])
        jni.systemProperties["java.version"] = version;
    kelo::threadSuspension = (options & SuspensionOn) != 0;
    kelo::versionGatePending = (options & GatePending) != 0;
    if (options & WorkerPresent)
        Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime.object, runtime.worker);
}

FakeBridge::~FakeBridge() {
    const fake::Strings problems = runtime.finish();
    for (const std::string& problem : problems)
        std::fprintf(stderr, "JNI misuse: %s\n", problem.c_str());
    FUZZ_CHECK(problems.empty());
}
