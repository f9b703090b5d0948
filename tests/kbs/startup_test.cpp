#include "kbs/autoinit.h"
#include "kbs/criticalsection.h"
#include "kbs/singleton.h"
#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> events;

template <char Name> struct Tracked {
    Tracked() { events.push_back(std::string("new ") + Name); }
    virtual ~Tracked() { events.push_back(std::string("delete ") + Name); }
};

std::atomic<Tracked<'1'>*> firstSlot{nullptr};
std::atomic<Tracked<'2'>*> secondSlot{nullptr};
std::atomic<Tracked<'L'>*> lateSlot{nullptr};

// Finishing uses a process-wide object that does not exist yet.
struct CreatesOnExit {
    ~CreatesOnExit() { kbs::processWide(lateSlot); }
};

class RecordingModule : public kbs::Module {
public:
    explicit RecordingModule(bool acceptAttach = true)
        : kbs::Module("RM", "Rec"), accept(acceptAttach) {}
    bool onProcessAttach() override { return record("attach", accept); }
    bool onProcessDetach() override { return record("detach", detachResult); }
    bool onThreadAttach() override { return record("thread attach", true); }
    bool onThreadDetach() override { return record("thread detach", false); }
    bool record(const char* call, bool result) {
        calls.push_back(call);
        return result;
    }
    std::vector<std::string> calls;
    bool accept, detachResult = true;
};

HINSTANCE handle(std::uintptr_t value) {
    return reinterpret_cast<HINSTANCE>(value);
}

TEST(StartUp, TheFirstObjectStaysTheStartUpInstanceAndTheLastIsTheModule) {
    ASSERT_EQ(kbs::startUpInstance(), nullptr);
    {
        RecordingModule first;
        kbs::Module second("ABCDEFGHIJKLMNOP", "x");
        EXPECT_EQ(kbs::startUpInstance(), &first);
        EXPECT_EQ(kbs::moduleInstance(), &second);
        EXPECT_STREQ(kbs::errorPrefix(), "ABCDEFGHIJK");
        EXPECT_EQ(first.moduleFileName().baseName(false), "kbs_tests");
    }
    EXPECT_EQ(kbs::startUpInstance(), nullptr);
    EXPECT_EQ(kbs::moduleInstance(), nullptr);
}

TEST(DispatchEntry, ForwardsEachReasonAndDetachesARefusedAttach) {
    RecordingModule other;
    RecordingModule module;
    EXPECT_EQ(kbs::dispatchEntry(other, handle(0x10000), DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(module.moduleRecord().module, handle(0x10000)); // the module instance's too
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, DLL_THREAD_DETACH, nullptr), TRUE);
    module.detachResult = false;
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, DLL_PROCESS_DETACH, nullptr), FALSE);
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, 7, nullptr), TRUE);
    RecordingModule refusing(false);
    EXPECT_EQ(kbs::dispatchEntry(refusing, handle(0x20000), DLL_PROCESS_ATTACH, nullptr), FALSE);
    EXPECT_EQ(module.calls, (std::vector<std::string>{"thread attach", "thread detach", "detach"}));
    EXPECT_EQ(refusing.calls, (std::vector<std::string>{"attach", "detach"}));
}

// Chinese: Taiwan, Hong Kong and Macao are Traditional; China and Singapore Simplified.
TEST(LanguageSuffix, MapsWindowsLanguageIds) {
    const std::pair<LANGID, const char*> rows[] = {
        {0x0407, "De"}, {0x0807, "De"}, {0x0409, "Us"}, {0x0816, "Br"},
        {0x041D, "Se"}, {0x040B, ""},   {0x0404, "Tw"}, {0x0C04, "Tw"},
        {0x1404, "Tw"}, {0x0804, "Cn"}, {0x1004, "Cn"},
    };
    for (const auto& [id, suffix] : rows)
        EXPECT_EQ(kbs::languageSuffixFor(id), suffix) << std::hex << id;
}

TEST(CriticalSection, SerialisesThreadsAndIsReentrant) {
    long counter = 0;
    auto work = [&counter] {
        for (int i = 0; i < 20000; ++i) {
            kbs::CriticalSection::ScopedLock outer(kbs::libraryLock());
            kbs::CriticalSection::ScopedLock inner(kbs::libraryLock());
            counter = counter + 1;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

TEST(ProcessWide, ThreadsRacingOnFirstUseShareOneInstance) {
    struct Shared {};
    static std::atomic<Shared*> slot{nullptr};
    std::vector<Shared*> seen(4);
    std::vector<std::thread> threads;
    for (auto& result : seen)
        threads.emplace_back([&result] { result = &kbs::processWide(slot); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(seen, std::vector<Shared*>(4, slot.load()));
}

// Ends the process-wide objects, as the module's detach would; later users create them anew.
TEST(Shutdown, FinishesInitialisersThenSingletonsNewestFirst) {
    kbs::AutoInit<Tracked<'I'>> initialised;
    kbs::runAutoInits();
    kbs::runAutoInits();
    kbs::processWide(firstSlot);
    kbs::processWide(secondSlot);
    kbs::AutoInit<CreatesOnExit> createsOnExit;
    kbs::runAutoInits();
    kbs::shutdown();
    EXPECT_EQ(events, (std::vector<std::string>{"new I", "new 1", "new 2", "new L", "delete I",
                                                "delete L", "delete 2", "delete 1"}));
    EXPECT_EQ(firstSlot.load(), nullptr);
    EXPECT_EQ(kbs::lineEnd(), "\r\n");
    kbs::AutoInit<Tracked<'A'>> again;
    ASSERT_NE(kbs::autoInitRegistry(), nullptr);
    EXPECT_EQ(kbs::autoInitRegistry()->size(), 1u);
    kbs::shutdown();
}

} // namespace
