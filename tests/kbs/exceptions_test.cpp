#include "kbs/exceptions.h"

#include "kbs/startup.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace {

const kbs::StringBase<char>& none() {
    return kbs::emptyString();
}

std::string message(std::int32_t id, const char* p1 = "", const char* p2 = "", const char* p3 = "",
                    const char* location = "") {
    return kbs::Exception(id, p1, p2, p3, location).what();
}

class ExceptionMessage : public ::testing::Test {
protected:
    kbs::Module module{"KB", "KeloRvs4J32"};
};

// Composes with its own parameter, as a subclass with a file name does.
class NamedFileException : public kbs::Exception {
public:
    NamedFileException(std::int32_t id, const char* file)
        : kbs::Exception(id, none(), none(), none(), none()), file(file) {}
    const char* buildText() const override { return composeText(errorId(), file, none(), none()); }

private:
    kbs::StringBase<char> file;
};

class FailingException : public kbs::Exception {
public:
    const char* buildText() const override { throw std::bad_alloc(); }
};

} // namespace

TEST_F(ExceptionMessage, CatalogueTexts) {
    EXPECT_EQ(message(2020, "x"), "KeloRvs4J32: error KB2020 - decimal number expected: x.");
    EXPECT_EQ(message(1118, "svc", "5", "unused"),
              "KeloRvs4J32: fatal error KB1118 - no access to svc (system error 5).");
    EXPECT_EQ(message(4003), "KeloRvs4J32: warning KB4003 - file has EXE header.");
    EXPECT_EQ(message(1001, "a", "", "", "reading"),
              "KeloRvs4J32, reading: fatal error KB1001 - file a not found.");
}

TEST_F(ExceptionMessage, FreeTextIdsShowNoNumber) {
    EXPECT_EQ(message(1000, "disk %1 of %2", "C", "D"), "KeloRvs4J32: fatal error - disk C of D.");
    EXPECT_EQ(message(2000, "value %1 too big", "7"), "KeloRvs4J32: error - value 7 too big.");
    EXPECT_EQ(message(4000, "careful"), "KeloRvs4J32: warning - careful.");
}

TEST_F(ExceptionMessage, IdsWithoutTextAndSignedSeverity) {
    EXPECT_EQ(message(3500, "abc", "", "def"),
              "KeloRvs4J32: error KB3500 - Undocumented/internal (3500, abc, def).");
    EXPECT_EQ(message(-5), "KeloRvs4J32: fatal error KB-5 - Undocumented/internal (-5).");
    EXPECT_EQ(message(1999, "", "b"),
              "KeloRvs4J32: fatal error KB1999 - Undocumented/internal (1999, b).");
    EXPECT_STREQ(kbs::Exception().what(),
                 "KeloRvs4J32: fatal error KB0 - Undocumented/internal (0).");
}

TEST(ExceptionWithoutStartUp, NamedAfterTheExecutable) {
    ASSERT_EQ(kbs::startUpInstance(), nullptr);
    EXPECT_EQ(message(1003, "a.txt"), std::string("kbs_tests: fatal error ") + kbs::errorPrefix() +
                                          "1003 - file a.txt cannot be opened.");
}

TEST_F(ExceptionMessage, CopiesComposeTheirOwnText) {
    kbs::Exception original(2020, "x", "y", "z", "parsing");
    kbs::Exception copy(original);
    EXPECT_EQ(copy.errorId(), 2020);
    EXPECT_EQ(copy.parameter3(), "z");
    EXPECT_EQ(copy.location(), "parsing");
    const char* first = original.what();
    EXPECT_STREQ(copy.what(), first);
    EXPECT_NE(copy.what(), first);

    kbs::Exception assigned(4003, none(), none(), none(), none());
    assigned.what();
    assigned = original;
    EXPECT_STREQ(assigned.what(), original.what());

    copy.setErrorId(2021);
    EXPECT_STREQ(copy.buildText(), "KeloRvs4J32, parsing: error KB2021 - number expected: x.");
    // Each call composes afresh (and ends the previous text).
    const std::string once = copy.what();
    EXPECT_EQ(once, copy.what());
}

TEST_F(ExceptionMessage, SubclassesComposeWithTheirOwnParameters) {
    const NamedFileException error(1001, "data.bin");
    const std::exception& thrown = error;
    EXPECT_STREQ(thrown.what(), "KeloRvs4J32: fatal error KB1001 - file data.bin not found.");
}

TEST(ExceptionWithoutStartUp, WhatNeverThrows) {
    const FailingException failing;
    const char* text = nullptr;
    EXPECT_NO_THROW(text = failing.what());
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text[0], '\0');
}
