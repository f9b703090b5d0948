#include "kbs/exceptions.h"

#include "kbs/errorlocations.h"
#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <deque>
#include <new>
#include <sstream>
#include <string>

namespace {

struct Row {
    std::int32_t id;
    const char *p1, *p2, *p3, *location, *expected;
};

// Ids below 2000 are fatal errors, below 4000 errors; free texts (x000) show no number and their
// parameters are the text's own; ids without a text list their parameters.
const Row rows[] = {
    {1999, "", "b", "", "", "KeloRvs4J32: fatal error KB1999 - Undocumented/internal (1999, b)."},
    {2020, "x", "", "", "", "KeloRvs4J32: error KB2020 - decimal number expected: x."},
    {1118, "svc", "5", "unused", "",
     "KeloRvs4J32: fatal error KB1118 - no access to svc (system error 5)."},
    {4003, "", "", "", "", "KeloRvs4J32: warning KB4003 - file has EXE header."},
    {1001, "a", "", "", "reading", "KeloRvs4J32, reading: fatal error KB1001 - file a not found."},
    {1000, "disk %1 of %2", "C", "D", "", "KeloRvs4J32: fatal error - disk C of D."},
    {2000, "value %1 too big", "7", "", "", "KeloRvs4J32: error - value 7 too big."},
    {-5, "", "", "", "", "KeloRvs4J32: fatal error KB-5 - Undocumented/internal (-5)."},
};

class ExceptionText : public ::testing::TestWithParam<Row> {
protected:
    kbs::Module module{"KB", "KeloRvs4J32"};
};

TEST_P(ExceptionText, Composes) {
    const Row& row = GetParam();
    EXPECT_STREQ(kbs::Exception(row.id, row.p1, row.p2, row.p3, row.location).what(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ExceptionText, ::testing::ValuesIn(rows));

// Without a start-up object the executable names it; a copy composes its own text; what() never
// throws.
TEST(Exception, CopiesComposeTheirOwnTextAndWhatNeverThrows) {
    ASSERT_EQ(kbs::startUpInstance(), nullptr);
    kbs::Exception original(2020, "x", "y", "z", "parsing");
    kbs::Exception copy(original);
    const char* first = original.what();
    EXPECT_STREQ(copy.what(), first);
    EXPECT_NE(copy.what(), first);
    copy.setErrorId(2021);
    EXPECT_EQ(std::string(copy.what()), "kbs_tests, parsing: error " +
                                            std::string(kbs::errorPrefix()) +
                                            "2021 - number expected: x.");
    struct Failing : kbs::Exception {
        const char* buildText() const override { throw std::bad_alloc(); }
    };
    EXPECT_NE(Failing().what()[0], '\0');
}

// Entries from the bottom, "+" marking a chained one: the top entry and, while the entry taken is
// chained, those below it; an exception's own location continues that.
TEST(ErrorLocations, ChainDownToTheFirstUnchainedEntry) {
    const std::pair<const char*, std::string> rows[] = {
        {"", ""}, {"A B+", "A, B"}, {"A B", "B"}, {"A B C+", "B, C"}, {"A+ B+", "A, B"}};
    for (const auto& [entries, expected] : rows) {
        {
            std::istringstream words(entries);
            std::deque<kbs::ErrorLocationGuard> guards;
            for (std::string word; words >> word;)
                guards.emplace_back(word.substr(0, 1), word.size() > 1);
            EXPECT_EQ(kbs::currentErrorLocation(), expected) << entries;
            EXPECT_EQ(kbs::Exception(1, "", "", "", "X").location(),
                      (expected.empty() ? "" : expected + ", ") + "X");
        }
        EXPECT_EQ(kbs::currentErrorLocation(), "");
    }
}

} // namespace
