#include "kbs/autoinit.h"
#include "kbs/singleton.h"
#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;
Strings events;

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

struct RecordingModule : kbs::Module {
    explicit RecordingModule(bool accept = true) : kbs::Module("RM", "Rec"), accept(accept) {}
    bool onProcessAttach() override { return calls.push_back("attach"), accept; }
    bool onProcessDetach() override { return calls.push_back("detach"), true; }
    Strings calls;
    bool accept;
};

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

// The attach gives the module instance the handle too, which the catalogue reads its texts from.
TEST(DispatchEntry, RecordsTheHandleAndDetachesARefusedAttach) {
    RecordingModule other, refusing(false), module;
    const auto handle = reinterpret_cast<HINSTANCE>(0x10000);
    EXPECT_EQ(kbs::dispatchEntry(other, handle, DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_EQ(module.moduleRecord().module, handle);
    EXPECT_EQ(kbs::dispatchEntry(refusing, handle, DLL_PROCESS_ATTACH, nullptr), FALSE);
    EXPECT_EQ(refusing.calls, (Strings{"attach", "detach"}));
}

// Chinese: Taiwan, Hong Kong and Macao are Traditional; China and Singapore Simplified.
TEST(LanguageSuffix, MapsWindowsLanguageIds) {
    const std::pair<LANGID, const char*> rows[] = {{0x0807, "De"}, {0x0409, "Us"}, {0x0816, "Br"},
                                                   {0x040B, ""},   {0x0C04, "Tw"}, {0x1404, "Tw"},
                                                   {0x0804, "Cn"}, {0x1004, "Cn"}};
    for (const auto& [id, suffix] : rows)
        EXPECT_EQ(kbs::languageSuffixFor(id), suffix) << std::hex << id;
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
    EXPECT_EQ(events, (Strings{"new I", "new 1", "new 2", "new L", "delete I", "delete L",
                               "delete 2", "delete 1"}));
    EXPECT_EQ(firstSlot.load(), nullptr);
    EXPECT_EQ(kbs::lineEnd(), "\r\n");
    kbs::AutoInit<Tracked<'A'>> again;
    ASSERT_NE(kbs::autoInitRegistry(), nullptr);
    EXPECT_EQ(kbs::autoInitRegistry()->size(), 1u);
    kbs::shutdown();
}

} // namespace
