// Debug text, formatted strings and the error log.

#include <gtest/gtest.h>

#include <string>

#include "base/Diagnostics.h"
#include "support/DebugCapture.h"
#include "support/GeneSupport.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::DebugCapture;

TEST(FormatStringTest, PrintfFormatting) {
    EXPECT_EQ(FormatString("Node ID:%d", 7), "Node ID:7");
    EXPECT_EQ(FormatString("P%d=%lf, ", 3, 0.25), "P3=0.250000, ");
    EXPECT_EQ(FormatString("%s", ""), "");
}

TEST(FormatStringTest, CutAt9999Characters) {
    const std::string big(20000, 'x');
    EXPECT_EQ(FormatString("%s", big.c_str()), std::string(9999, 'x'));
    EXPECT_EQ(FormatString("%s", std::string(9999, 'y').c_str()), std::string(9999, 'y'));
    EXPECT_EQ(FormatString("%s!", std::string(9999, 'y').c_str()), std::string(9999, 'y'));
    EXPECT_EQ(FormatString("%s", std::string(9998, 'z').c_str()), std::string(9998, 'z'));
}

TEST(DebugPrintTest, TextArrivesInOrder) {
    Diagnostics diagnostics;
    DebugCapture debug(diagnostics);
    diagnostics.DebugPrint("rand seed = %d\n", 12);
    diagnostics.DebugPrint("Restore\n");
    EXPECT_EQ(debug.Text(), "rand seed = 12\nRestore\n");
}

TEST(DebugPrintTest, TwentyThousandCharactersArriveCutTo9999) {
    Diagnostics diagnostics;
    DebugCapture debug(diagnostics);
    diagnostics.DebugPrint("%s", std::string(20000, 'q').c_str());
    EXPECT_EQ(debug.Text(), std::string(9999, 'q'));
}

TEST(DebugPrintTest, DefaultSinkIsStandardError) {
    Diagnostics diagnostics;
    ::testing::internal::CaptureStderr();
    diagnostics.DebugPrint("Action Exception\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Action Exception\n");
}

class ErrorLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = diagnostics.ErrorLogPath();
        diagnostics.SetErrorLogPath(log.PathString());
    }

    Diagnostics diagnostics;
    TempFile log{"an older and much longer log text that must disappear\n"};
    std::string previous;
};

TEST_F(ErrorLogTest, DefaultLogName) { EXPECT_EQ(previous, "error.lot.txt"); }

TEST_F(ErrorLogTest, WritesTheTextExactlyAndReplacesTheOldLog) {
    const std::string text = "PTester::Action()\nNodeManager::Action; \nGOAL!\n";
    DebugCapture debug(diagnostics);
    diagnostics.WriteErrorLog(text);
    EXPECT_EQ(ReadFile(log.PathString()), text);
    EXPECT_EQ(debug.Text(), text + "\n");
}

TEST_F(ErrorLogTest, KeepsUtf8AndLineEndsByteForByte) {
    const std::string text = "GPmanager::GetCode; 不正なコードです\nno newline at the end";
    DebugCapture debug(diagnostics);
    diagnostics.WriteErrorLog(text);
    EXPECT_EQ(ReadFile(log.PathString()), text);
}

TEST_F(ErrorLogTest, EmptyTextGivesAnEmptyFile) {
    DebugCapture debug(diagnostics);
    diagnostics.WriteErrorLog("");
    EXPECT_EQ(ReadFile(log.PathString()), "");
    EXPECT_EQ(debug.Text(), "\n");
}

TEST_F(ErrorLogTest, ALogThatCannotBeOpenedOrWrittenLosesTheTextButNotTheDebugCopyAndSaysWhy) {
    const std::pair<const char*, const char*> logs[] = {
        {"/nonexistent-folder/quillmoth/error.lot.txt", "No such file or directory"},
        {"/dev/full", "No space left on device"}};
    for (const auto& [path, reason] : logs) {
        diagnostics.SetErrorLogPath(path);
        DebugCapture debug(diagnostics);
        std::string why;
        EXPECT_FALSE(diagnostics.WriteErrorLog("GOAL!\n", DebugLevel::Errors, &why)) << path;
        EXPECT_EQ(why, reason);
        EXPECT_EQ(debug.Text(), "GOAL!\n\n");
    }
    diagnostics.SetErrorLogPath(log.PathString());
    DebugCapture debug(diagnostics);
    EXPECT_TRUE(diagnostics.WriteErrorLog("GOAL!\n"));
}

}  // namespace
}  // namespace qm
