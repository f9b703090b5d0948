// The process-wide state that changes once, raced by many threads at once: the start message, the
// thread-suspension switch, the Java version gate, the cached runtime build, the worker's method
// ids, and the lazily made objects of the support library; and the application name, set by all.
// Each thread has a JNI environment of its own and shares the runtime object, its class and the
// native worker, as Java threads do. Built with ThreadSanitizer, any unsynchronised access among
// them fails the run.
#include "container_builder.h"
#include "fake_jni.h"

#include "jni/callbacks.h"
#include "jni/state.h"
#include "kbs/criticalsection.h"
#include "kbs/datetime.h"
#include "kbs/errorlocations.h"
#include "kbs/exceptions.h"
#include "kbs/startup.h"
#include "kbs/strings.h"
#include "kbs/sysinfo.h"
#include "kbs/utf8.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>
#include <vector>

using testdata::Bytes;

namespace {

constexpr int Threads = 8;
constexpr int Rounds = 16;

// Runs `body` on Threads threads, each held back until all have started, so that their first
// uses overlap.
template <class Body> void race(const Body& body) {
    std::atomic<int> waiting{Threads};
    std::vector<std::thread> threads;
    for (int i = 0; i < Threads; ++i)
        threads.emplace_back([&, i] {
            for (--waiting; waiting.load() > 0;)
                std::this_thread::yield();
            body(i);
        });
    for (std::thread& thread : threads)
        thread.join();
}

const Bytes classFile = testdata::classFile("a/B");
// Runs the version gate, switches thread suspension on and is checked by CRC; the broken one
// (deflate block type 3) fails with a report instead.
const Bytes good = testdata::container(classFile, {true, true, 75, 3, 0, 0x02});
const Bytes broken = [] {
    Bytes bytes = good;
    bytes[testdata::AtPayload + 10] = 0x07;
    return bytes;
}();

// Loads good and broken containers in turns through a JNI environment of this thread's own, and
// checks what that environment saw. Answers how many start messages it sent.
long loadOnOwnEnvironment(jobject runtime) {
    fake::Jni jni;
    const jobject loader = jni.newObject(jni.addClass("java/lang/ClassLoader"));
    for (int round = 0; round < Rounds; ++round) {
        Java_com_kelo_rvs_Runtime_iLoadClass(jni.env, runtime, loader, jni.newString("a/B"),
                                             jni.newByteArray(round % 2 ? broken : good));
        Java_com_kelo_rvs_Runtime_iSetApplicationName(jni.env, runtime, jni.newString("Racing"));
    }
    EXPECT_EQ(jni.violations, fake::Strings());
    EXPECT_EQ(jni.held + jni.monitorDepth, 0);
    EXPECT_EQ(jni.definitions.size(), std::size_t{Rounds / 2});
    for (const fake::Definition& definition : jni.definitions)
        EXPECT_EQ(definition.bytes, classFile);
    // Every report is bracketed by the worker: the switch is on before the first one.
    std::string reports, bracketed;
    for (const std::string& call : jni.java)
        if (call.find("Threads()") != std::string::npos || call.rfind("errorUnspecified", 0) == 0)
            reports += call + ";";
    for (int round = 0; round < Rounds / 2; ++round)
        bracketed += "suspendThreads();errorUnspecified(Decompression failed!);resumeThreads();";
    EXPECT_EQ(reports, bracketed);
    return std::count(jni.java.begin(), jni.java.end(), "messageStart()");
}

// The addresses of the process-wide objects as one thread finds them. Its error locations are its
// own, and the share count of a thread record all copy is kept under the lock.
std::vector<const void*> processWideObjects(const kbs::ThreadRef& shared) {
    const kbs::SystemInfo info;
    kbs::tickCount64();
    kbs::DateTimeO::processZoneBias();
    const kbs::ErrorLocationGuard location("racing", false);
    for (int step = 0; step < 100; ++step) {
        const kbs::ErrorLocationGuard inner("step", true);
        kbs::ThreadRef copy(shared), assigned(INVALID_HANDLE_VALUE, 1);
        assigned = copy;
        EXPECT_EQ(kbs::Exception(1, "", "", "", "x").location(), "racing, step, x");
    }
    return {&kbs::libraryLock(), &kbs::emptyString(), &kbs::lineEnd(),
            &kbs::ErrorLocationInit::instance(),
            &kbs::Utf8Conversion<kbs::StringBase<char>, kbs::Utf8>::instance()};
}

} // namespace

using OnceStateTest = BridgeTest;

TEST_F(OnceStateTest, FirstContainersOfManyThreadsSetTheStateOnce) {
    // The runtime class is cached and the worker registered before any thread starts, as
    // Runtime's construction does; everything else is first used by the threads at once.
    ASSERT_NE(kelo::runtimeClass(env).get(), nullptr);
    ASSERT_EQ(Java_com_kelo_rvs_Runtime_iSetNativeWorker(env, runtime, worker), 0);
    std::atomic<long> starts{0};
    race([&](int) { starts += loadOnOwnEnvironment(runtime); });
    EXPECT_EQ(starts.load(), 1);
    EXPECT_EQ(kelo::runtimeBuild.load(), 123);
    EXPECT_FALSE(kelo::versionGatePending.load());
}

TEST(ProcessWideObjectTest, ThreadsRacingOnFirstUseAgreeOnOneInstance) {
    // From here on, each accessor creates its object afresh.
    kbs::shutdown();
    const kbs::ThreadRef self = kbs::ThreadRef::current();
    std::vector<std::vector<const void*>> seen(Threads);
    race([&](int i) { seen[i] = processWideObjects(self); });
    EXPECT_EQ(std::set<std::vector<const void*>>(seen.begin(), seen.end()).size(), 1u);
    EXPECT_EQ(kbs::currentErrorLocation(), "");
}
