// quillmoth-sim export: a trace as one web page. What it writes (one file, its
// frames as asked), what it refuses and with which status and message, and
// the interval it names for a page too large.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "record/RecordTestSupport.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

class ExportTest : public test::SimFolderTest {
  protected:
    // Traces of a creature that grows to some six hundred nodes in 140 steps.
    void SetUp() override {
        test::SimFolderTest::SetUp();
        if (IsSkipped()) return;
        const std::string gene = Put("gene.txt",
                                     "PROG3 ( SETP 0 ( ADD ( GETP 0 ) 0.1 ) ) ( IFT ( GT ECOUNT 0.15 ) "
                                     "( TDIVIDE ( 0 ) ) ) ( SETCOLP 0 1 2 )");
        ASSERT_EQ(Sim("run --quiet --seed 2 --steps 140 --trace t.jsonl --log l.log '" + gene + "'").status,
                  0);
        ASSERT_EQ(Sim("run --quiet --seed 2 --steps 140 --trace t.h5 --log l.log '" + gene + "'").status, 0);
    }

    std::uintmax_t Size(const std::string& name) const { return std::filesystem::file_size(In(name)); }
};

TEST_F(ExportTest, BothFormatsGiveOnePageOfTheStepsAsked) {
    for (const char* trace : {"t.jsonl", "t.h5"}) {
        for (const auto& [every, steps] : {std::pair{"1", "141"}, {"10", "15"}, {"100", "2"}}) {
            const test::Outcome o = Sim(std::string("export --every ") + every + " -o p.html " + trace);
            ASSERT_EQ(o.status, 0) << trace << " " << every << ": " << o.err;
            EXPECT_NE(o.err.find(std::string("wrote p.html: ") + steps + " steps"), std::string::npos)
                << o.err;
            const std::string page = ReadFile(In("p.html"));
            EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
            EXPECT_EQ(page.find("/*QM_"), std::string::npos) << "a mark left unfilled";
            EXPECT_NE(page.find("\"seed\":2"), std::string::npos) << "the manifest is not on the page";
        }
    }
    // Fewer steps, a smaller page.
    ASSERT_EQ(Sim("export -o all.html t.h5").status, 0);
    ASSERT_EQ(Sim("export --every 10 -o tenth.html t.h5").status, 0);
    EXPECT_LT(Size("tenth.html") * 2, Size("all.html"));
}

TEST_F(ExportTest, WhatCannotBeExportedIsSaidWithStatusTwoAndNothingWritten) {
    Put("empty.jsonl", "");
    Put("header.jsonl", test::SplitLines(ReadFile(In("t.jsonl")))[0] + "\n");
    Put("other.txt", "not a trace\n");
    const std::pair<const char*, const char*> cases[] = {
        {"export -o p.html missing.jsonl", "cannot export: missing.jsonl: cannot read it: No such file"},
        {"export -o p.html empty.jsonl", "cannot export: empty.jsonl: it is empty, not a trace"},
        {"export -o p.html other.txt", "cannot export: other.txt: neither a JSON-lines nor an HDF5 trace"},
        {"export -o p.html header.jsonl", "cannot export: header.jsonl: the trace holds no recorded step"},
        {"export --every 7 -o p.html t.jsonl --max-mb 0.000001",
         "more than --max-mb 1e-06; not even one step"},
        {"export -o t.jsonl t.jsonl", "-o 't.jsonl' would replace the trace"},
        {"export -o nofolder/p.html t.jsonl", "cannot write the page 'nofolder/p.html'"},
        {"export t.jsonl", "--output is required"},
        {"export --every 0 -o p.html t.jsonl", "--every"},
    };
    for (const auto& [arguments, message] : cases) {
        const test::Outcome o = Sim(arguments);
        EXPECT_EQ(o.status, 2) << arguments << ": " << o.err;
        EXPECT_NE(o.err.find(message), std::string::npos) << arguments << ": " << o.err;
        EXPECT_FALSE(std::filesystem::exists(In("p.html"))) << arguments;
    }
}

TEST_F(ExportTest, APageTooLargeNamesTheIntervalThatFitsAndThatIntervalDoes) {
    ASSERT_EQ(Sim("export -o all.html t.jsonl").status, 0);
    const double limit = static_cast<double>(Size("all.html")) / 3.0 / 1e6;
    const std::string max = " --max-mb " + std::to_string(limit);
    const test::Outcome refused = Sim("export -o p.html t.jsonl" + max);
    ASSERT_EQ(refused.status, 2) << refused.err;
    const std::size_t at = refused.err.find("; --every ");
    ASSERT_NE(at, std::string::npos) << refused.err;
    const long long every = std::stoll(refused.err.substr(at + 10));
    EXPECT_GE(every, 2);
    const test::Outcome fits = Sim("export -o p.html t.jsonl --every " + std::to_string(every) + max);
    EXPECT_EQ(fits.status, 0) << fits.err;
    EXPECT_LE(static_cast<double>(Size("p.html")), limit * 1e6);
    // The interval named is the smallest that fits: the one before it does not.
    if (every > 2) {
        EXPECT_EQ(Sim("export -o q.html t.jsonl --every " + std::to_string(every - 1) + max).status, 2);
    }
}

TEST_F(ExportTest, ATraceCutShortGivesThePageOfItsWholeStepsAndSaysWhereItStopped) {
    const std::string whole = ReadFile(In("t.jsonl"));
    Put("cut.jsonl", whole.substr(0, whole.size() / 2));
    const test::Outcome o = Sim("export -o p.html cut.jsonl");
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("cut.jsonl: line "), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("the trace stops after step"), std::string::npos) << o.err;
}

}  // namespace
}  // namespace qm
