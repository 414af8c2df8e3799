// Inputs are read, and finished outputs renamed into place, only as regular
// files: a FIFO or a device is refused at once and left as it was.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "base/RegularFile.h"

namespace qm {
namespace {

class RegularFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/quillmoth-regular-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
        Write("plain", "text\n");
        ASSERT_EQ(mkfifo(In("fifo").c_str(), 0600), 0);
        std::filesystem::create_directory(In("folder"));
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string In(const std::string& name) const { return dir + "/" + name; }
    void Write(const std::string& name, const std::string& text) const {
        std::FILE* f = std::fopen(In(name).c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::string dir;
};

TEST_F(RegularFileTest, OnlyARegularFileIsReadAndNothingWaits) {
    struct Case {
        std::string path;
        std::optional<std::string> refusal;  // nothing: read as "text\n"
    };
    const Case cases[] = {
        {In("plain"), std::nullopt},
        {In("fifo"), "it is a FIFO, not a regular file"},
        {In("folder"), "it is a folder, not a regular file"},
        {"/dev/null", "it is a device, not a regular file"},
        {In("missing"), "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto start = std::chrono::steady_clock::now();
        std::string why;
        std::optional<std::string> text = ReadRegularFile(c.path, why);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(NotRegularFile(c.path), c.refusal);
        if (c.refusal) {
            EXPECT_FALSE(text);
            EXPECT_EQ(why, *c.refusal);
        } else {
            EXPECT_EQ(text, "text\n");
        }
    }
}

TEST_F(RegularFileTest, AFinishedFileReplacesOnlyARegularFileOrNothing) {
    struct Case {
        std::string target;
        bool replaced;
    };
    const Case cases[] = {{In("plain"), true}, {In("new"), true}, {In("fifo"), false}, {In("folder"), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        Write("finished", "finished\n");
        struct stat before {};
        const bool existed = lstat(c.target.c_str(), &before) == 0;
        std::string why;
        EXPECT_EQ(ReplaceWith(In("finished"), c.target, why), c.replaced) << why;
        EXPECT_EQ(CannotReplace(c.target).has_value(), !c.replaced && existed);
        struct stat after {};
        ASSERT_EQ(lstat(c.target.c_str(), &after), 0);
        if (c.replaced) {
            EXPECT_TRUE(S_ISREG(after.st_mode));
            std::string ignored;
            EXPECT_EQ(ReadRegularFile(c.target, ignored), "finished\n");
        } else {
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_ino, before.st_ino);
            EXPECT_TRUE(std::filesystem::exists(In("finished")));
        }
    }
    // A device is refused without being touched.
    EXPECT_EQ(CannotReplace("/dev/null"), "it is a device, not a regular file");
}

}  // namespace
}  // namespace qm
