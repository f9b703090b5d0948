#include "kbs/errorlocations.h"
#include "kbs/exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using kbs::ErrorLocationGuard;

std::string location() {
    return kbs::currentErrorLocation();
}

kbs::Exception exceptionAt(const char* where) {
    const kbs::StringBase<char>& none = kbs::emptyString();
    return kbs::Exception(1001, none, none, none, where);
}

} // namespace

TEST(ErrorLocation, ChainedEntriesReadOutermostFirst) {
    EXPECT_EQ(location(), "");
    ErrorLocationGuard outer("outer", false);
    {
        ErrorLocationGuard a("A", false);
        {
            ErrorLocationGuard b("B", true);
            EXPECT_EQ(location(), "A, B");
            ErrorLocationGuard c("C", true);
            EXPECT_EQ(location(), "A, B, C");
        }
        ErrorLocationGuard b("B", false);
        EXPECT_EQ(location(), "B");
    }
    EXPECT_EQ(location(), "outer");
    ErrorLocationGuard chainedAtBottom("inner", true);
    EXPECT_EQ(location(), "outer, inner");
}

TEST(ErrorLocation, ChainedBottomEntryStandsAlone) {
    ErrorLocationGuard only("only", true);
    EXPECT_EQ(location(), "only");
}

TEST(ErrorLocation, ExceptionRecordsItsLocationAndLeavesTheStack) {
    EXPECT_EQ(exceptionAt("X").location(), "X");
    EXPECT_EQ(location(), "");
    ErrorLocationGuard a("A", false);
    EXPECT_EQ(exceptionAt("X").location(), "A, X");
    EXPECT_EQ(exceptionAt("").location(), "A");
    EXPECT_EQ(kbs::Exception().location(), "A");
    EXPECT_EQ(location(), "A");
}

TEST(ErrorLocation, EachThreadHasItsOwnStack) {
    constexpr int threads = 8;
    std::vector<std::string> failures(threads);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([t, &failures] {
            const std::string name = "thread " + std::to_string(t);
            {
                ErrorLocationGuard base(name.c_str(), false);
                for (int step = 0; step < 500 && failures[t].empty(); ++step) {
                    const std::string expected = name + ", step " + std::to_string(step);
                    ErrorLocationGuard inner(("step " + std::to_string(step)).c_str(), true);
                    if (location() != expected || exceptionAt("x").location() != expected + ", x")
                        failures[t] = location();
                }
                if (failures[t].empty() && location() != name)
                    failures[t] = location();
            }
            if (failures[t].empty() && !location().empty())
                failures[t] = location();
        });
    }
    for (std::thread& thread : running)
        thread.join();
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(failures[t], "") << "thread " << t;
}

TEST(ErrorLocationInit, OneInstanceHoldsTheStacks) {
    ErrorLocationGuard outer("outer", false);
    EXPECT_EQ(&kbs::ErrorLocationInit::instance(), &kbs::ErrorLocationInit::instance());
    {
        // As when the automatic initialiser runs after first use: the later instance stays idle.
        kbs::ErrorLocationInit later;
        ErrorLocationGuard inner("inner", true);
        EXPECT_EQ(location(), "outer, inner");
    }
    EXPECT_EQ(location(), "outer");
}

TEST(ThreadRef, CopiesShareOneRecord) {
    const kbs::ThreadRef self = kbs::ThreadRef::current();
    EXPECT_EQ(self.id(), GetCurrentThreadId());
    EXPECT_EQ(self.handle(), GetCurrentThread());
    kbs::ThreadRef other(INVALID_HANDLE_VALUE, 7);
    kbs::ThreadRef copy(other);
    other = self;
    other = other;
    EXPECT_EQ(other.id(), self.id());
    EXPECT_EQ(copy.id(), 7u);

    // A share count changed without the lock frees the record twice or never (ASan sees both).
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&self] {
            for (int i = 0; i < 2000; ++i) {
                kbs::ThreadRef shared(self);
                kbs::ThreadRef assigned(INVALID_HANDLE_VALUE, 1);
                assigned = shared;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

TEST(ThreadHandles, PseudoHandleAndClose) {
    EXPECT_EQ(GetCurrentThread(), reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)));
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(0x1234))));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}
