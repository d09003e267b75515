#include "platform/Errors.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(ErrorsTest, IoErrorTextsByCode) {
    const std::pair<int, const char*> cases[] = {
        {2, "File not found"},
        {3, "Invalid filename"},
        {4, "Too many open files"},
        {5, "File access denied"},
        {100, "Read beyond end of file"},
        {101, "Disk full"},
        {106, "Invalid numeric input"},
        {32, "I/O error 32"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(platform::IoErrorText(code), text) << code;
}

TEST(ErrorsTest, HostErrorsMapToTheProgramsCodes) {
    EXPECT_EQ(platform::IoCodeFromErrno(ENOENT), 2);
    EXPECT_EQ(platform::IoCodeFromErrno(EACCES), 5);
    EXPECT_EQ(platform::IoCodeFromErrno(EPERM), 5);
    EXPECT_EQ(platform::IoCodeFromErrno(ENOSPC), 101);
    EXPECT_EQ(platform::IoCodeFromErrno(EMFILE), 4);
    // Anything unknown keeps a code of its own that no named text claims.
    const int other = platform::IoCodeFromErrno(EIO);
    EXPECT_EQ(platform::IoErrorText(other), QStringLiteral("I/O error %1").arg(other));
}

TEST(ErrorsTest, RaisedIoErrorCarriesCodeAndText) {
    try {
        platform::RaiseIoError(ENOSPC);
        FAIL() << "no failure raised";
    } catch (const platform::EInOutError& e) {
        EXPECT_EQ(e.code(), 101);
        EXPECT_EQ(e.message(), "Disk full");
        EXPECT_STREQ(e.what(), "Disk full");
    }
}

TEST(ErrorsTest, ErrorBoxAppendsFullStopAfterLettersOnly) {
    EXPECT_EQ(platform::ErrorBoxText("Disk full"), "Disk full.");
    EXPECT_EQ(platform::ErrorBoxText("Done."), "Done.");
    // "!" and ")" sort before "."; digits and letters after it.
    EXPECT_EQ(platform::ErrorBoxText("Stop!"), "Stop!");
    EXPECT_EQ(platform::ErrorBoxText("List index out of bounds (5)"),
              "List index out of bounds (5)");
    EXPECT_EQ(platform::ErrorBoxText("I/O error 32"), "I/O error 32.");
    EXPECT_EQ(platform::ErrorBoxText("Cannot Create file C:\\q.csv/"),
              "Cannot Create file C:\\q.csv/.");
    EXPECT_EQ(platform::ErrorBoxText(""), "");
}

TEST(ErrorsTest, ListErrorNamesTheIndex) {
    EXPECT_EQ(platform::EListError(7).message(), "List index out of bounds (7)");
    EXPECT_EQ(platform::EListError(-1).message(), "List index out of bounds (-1)");
}

}  // namespace
