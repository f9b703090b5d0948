#include "kbs/autoinit.h"
#include "kbs/criticalsection.h"
#include "kbs/singleton.h"
#include "kbs/startup.h"
#include "kbs/strings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> events;

struct Tracked {
    explicit Tracked(std::string name) : name(std::move(name)) {
        events.push_back("new " + this->name);
    }
    virtual ~Tracked() { events.push_back("delete " + name); }
    std::string name;
};

struct Initialised : Tracked {
    Initialised() : Tracked("initialised") { ++created; }
    static int created;
};
int Initialised::created = 0;

struct First : Tracked {
    First() : Tracked("first") {}
};
struct Second : Tracked {
    Second() : Tracked("second") {}
};
struct Late : Tracked {
    Late() : Tracked("late") {}
};

std::atomic<First*> firstSlot{nullptr};
std::atomic<Second*> secondSlot{nullptr};
std::atomic<Late*> lateSlot{nullptr};

// Finishing uses a process-wide object that does not exist yet.
struct CreatesOnExit {
    ~CreatesOnExit() { kbs::processWide(lateSlot); }
};

class RecordingModule : public kbs::Module {
public:
    explicit RecordingModule(bool acceptAttach = true, const char* name = "Recording")
        : kbs::Module("RM", name), acceptAttach(acceptAttach) {}
    bool onProcessAttach() override {
        calls.push_back("attach");
        return acceptAttach;
    }
    bool onProcessDetach() override {
        calls.push_back("detach");
        return detachResult;
    }
    bool onThreadAttach() override {
        calls.push_back("thread attach");
        return true;
    }
    bool onThreadDetach() override {
        calls.push_back("thread detach");
        return false;
    }

    std::vector<std::string> calls;
    bool acceptAttach;
    bool detachResult = true;
};

HINSTANCE fakeHandle(std::uintptr_t value) {
    return reinterpret_cast<HINSTANCE>(value);
}

} // namespace

TEST(StartUp, FirstObjectStaysTheStartUpInstance) {
    ASSERT_EQ(kbs::startUpInstance(), nullptr);
    {
        RecordingModule first;
        {
            RecordingModule second(true, nullptr);
            EXPECT_EQ(kbs::startUpInstance(), &first);
            EXPECT_EQ(kbs::moduleInstance(), &second);
            EXPECT_TRUE(second.moduleRecord().name.empty());
        }
        EXPECT_EQ(kbs::startUpInstance(), &first);
        EXPECT_EQ(first.moduleRecord().name, "Recording");
        EXPECT_EQ(first.moduleRecord().module, nullptr);
        EXPECT_EQ(first.moduleRecord().languageModule, nullptr);
    }
    EXPECT_EQ(kbs::startUpInstance(), nullptr);
    EXPECT_EQ(kbs::moduleInstance(), nullptr);
}

TEST(StartUp, ErrorPrefixKeepsElevenCharacters) {
    RecordingModule plain;
    EXPECT_STREQ(kbs::errorPrefix(), "RM");
    kbs::Module longer("ABCDEFGHIJKLMNOP", "x");
    EXPECT_STREQ(kbs::errorPrefix(), "ABCDEFGHIJK");
}

TEST(StartUp, ModuleFileNameOfTheProcess) {
    RecordingModule module;
    // Before attach the handle is null, which names the executable.
    EXPECT_EQ(module.moduleFileName().baseName(false), "kbs_tests");
}

TEST(DispatchEntry, AttachRecordsTheHandleInBothModules) {
    RecordingModule other;
    RecordingModule module;
    // `module` is now the module instance; attach `other` to see the handle reach both.
    EXPECT_EQ(kbs::dispatchEntry(other, fakeHandle(0x10000), DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(other.moduleRecord().module, fakeHandle(0x10000));
    EXPECT_EQ(module.moduleRecord().module, fakeHandle(0x10000));
    EXPECT_EQ(other.calls, std::vector<std::string>{"attach"});
    EXPECT_TRUE(module.calls.empty());
}

TEST(DispatchEntry, RefusedAttachDetachesOnceAndFails) {
    RecordingModule module(false);
    EXPECT_EQ(kbs::dispatchEntry(module, fakeHandle(0x20000), DLL_PROCESS_ATTACH, nullptr), FALSE);
    EXPECT_EQ(module.calls, (std::vector<std::string>{"attach", "detach"}));
}

TEST(DispatchEntry, OtherReasons) {
    RecordingModule module;
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);
    module.detachResult = false;
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, DLL_PROCESS_DETACH, nullptr), FALSE);
    EXPECT_EQ(kbs::dispatchEntry(module, nullptr, 7, nullptr), TRUE);
    EXPECT_EQ(module.calls,
              (std::vector<std::string>{"thread attach", "thread detach", "detach", "detach"}));
}

TEST(LanguageSuffix, MapsWindowsLanguageIds) {
    EXPECT_EQ(kbs::languageSuffixFor(0x0407), "De");
    EXPECT_EQ(kbs::languageSuffixFor(0x0807), "De");
    EXPECT_EQ(kbs::languageSuffixFor(0x0409), "Us");
    EXPECT_EQ(kbs::languageSuffixFor(0x0809), "Us");
    EXPECT_EQ(kbs::languageSuffixFor(0x0816), "Br");
    EXPECT_EQ(kbs::languageSuffixFor(0x041D), "Se");
    EXPECT_EQ(kbs::languageSuffixFor(0x040B), "");
    EXPECT_EQ(kbs::languageSuffixFor(0x0000), "");
    // Chinese: Taiwan, Hong Kong and Macao are Traditional; China and Singapore Simplified.
    EXPECT_EQ(kbs::languageSuffixFor(0x0404), "Tw");
    EXPECT_EQ(kbs::languageSuffixFor(0x0C04), "Tw");
    EXPECT_EQ(kbs::languageSuffixFor(0x1404), "Tw");
    EXPECT_EQ(kbs::languageSuffixFor(0x0804), "Cn");
    EXPECT_EQ(kbs::languageSuffixFor(0x1004), "Cn");
}

TEST(LanguageSuffix, UsesTheUserInterfaceLanguage) {
    RecordingModule module;
    EXPECT_EQ(module.languageSuffix(), kbs::languageSuffixFor(GetUserDefaultUILanguage()));
}

TEST(CriticalSection, SerialisesThreadsAndIsReentrant) {
    kbs::CriticalSection& lock = kbs::libraryLock();
    EXPECT_EQ(&lock, &kbs::libraryLock());
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            kbs::CriticalSection::ScopedLock outer(lock);
            kbs::CriticalSection::ScopedLock inner(lock);
            counter = counter + 1;
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

TEST(ProcessWide, ThreadsRacingOnFirstUseShareOneInstance) {
    struct Shared {};
    static std::atomic<Shared*> slot{nullptr};
    const std::size_t before = kbs::singletonRegistry() ? kbs::singletonRegistry()->size() : 0;
    std::vector<Shared*> seen(4);
    std::vector<std::thread> threads;
    for (auto& result : seen)
        threads.emplace_back([&result] { result = &kbs::processWide(slot); });
    for (auto& thread : threads)
        thread.join();
    for (Shared* result : seen)
        EXPECT_EQ(result, slot.load());
    ASSERT_NE(kbs::singletonRegistry(), nullptr);
    EXPECT_EQ(kbs::singletonRegistry()->size(), before + 1);
}

// Ends the process-wide objects, as the module's detach would; later users create them anew.
TEST(Shutdown, FinishesInitialisersThenSingletonsNewestFirst) {
    const int createdBefore = Initialised::created;
    kbs::AutoInit<Initialised> initialised;
    kbs::runAutoInits();
    kbs::runAutoInits();
    EXPECT_EQ(Initialised::created, createdBefore + 1);
    events.clear();

    kbs::processWide(firstSlot);
    kbs::processWide(secondSlot);
    kbs::AutoInit<CreatesOnExit> createsOnExit;
    kbs::runAutoInits();
    const kbs::StringBase<char>* empty = &kbs::emptyString();
    EXPECT_TRUE(empty->empty());

    kbs::shutdown();
    EXPECT_EQ(events,
              (std::vector<std::string>{"new first", "new second", "new late", "delete initialised",
                                        "delete late", "delete second", "delete first"}));
    EXPECT_EQ(kbs::autoInitRegistry(), nullptr);
    EXPECT_EQ(kbs::singletonRegistry(), nullptr);
    EXPECT_EQ(firstSlot.load(), nullptr);

    // Accessors start over; a new registration starts a new list.
    EXPECT_TRUE(kbs::emptyString().empty());
    EXPECT_EQ(kbs::lineEnd(), "\r\n");
    ASSERT_NE(kbs::singletonRegistry(), nullptr);
    kbs::AutoInit<Initialised> again;
    ASSERT_NE(kbs::autoInitRegistry(), nullptr);
    EXPECT_EQ(kbs::autoInitRegistry()->size(), 1u);
    kbs::shutdown();
}
