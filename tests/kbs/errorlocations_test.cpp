#include "kbs/errorlocations.h"
#include "kbs/exceptions.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

// Per-thread stacks, and share counts of thread records changed under the lock (ASan and TSan
// see a record freed twice or never).
TEST(ErrorLocation, EachThreadHasItsOwnStack) {
    std::vector<std::string> failures(8);
    std::vector<std::thread> threads;
    const kbs::ThreadRef self = kbs::ThreadRef::current();
    for (std::size_t t = 0; t < failures.size(); ++t) {
        threads.emplace_back([t, &failures, &self] {
            const std::string name = "thread " + std::to_string(t);
            kbs::ErrorLocationGuard base(name.c_str(), false);
            for (int step = 0; step < 500 && failures[t].empty(); ++step) {
                kbs::ErrorLocationGuard inner(std::to_string(step).c_str(), true);
                kbs::ThreadRef shared(self);
                kbs::ThreadRef assigned(INVALID_HANDLE_VALUE, 1);
                assigned = shared;
                const std::string expected = name + ", " + std::to_string(step);
                if (kbs::Exception(1, "", "", "", "x").location() != expected + ", x")
                    failures[t] = kbs::currentErrorLocation();
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<std::string>(8));
    EXPECT_EQ(kbs::currentErrorLocation(), "");
}

} // namespace
