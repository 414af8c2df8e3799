// quillmoth-sim decode as a user runs it, and gene files that hold code
// strings, which every front end refuses with a message saying to decode them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/SimProcess.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::Outcome;

class DecodeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = test::SimBinary();
        if (!path) GTEST_SKIP() << "QM_SIM names the quillmoth-sim binary; ctest sets it";
        sim = path;
        char name[] = "/tmp/quillmoth-decode-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override {
        if (!dir.empty()) fs::remove_all(dir);
    }

    // Runs in the test's folder, where Write puts its files.
    Outcome Sim(const std::string& arguments) { return test::RunSim(sim, arguments, dir); }
    void Write(const std::string& name, const std::string& text) {
        std::ofstream(fs::path(dir) / name) << text;
    }
    std::string Compiled(const std::string& source) {
        Write("compiled.txt", source);
        return Sim("compile compiled.txt").out;
    }

    std::string sim;
    std::string dir;
};

// compile -> decode -> compile gives the code string back, from each form decode reads.
TEST_F(DecodeTest, DecodedGenesCompileToTheCodeTheyCameFrom) {
    const char* data = std::getenv("QM_DATA");
    if (!data) GTEST_SKIP() << "QM_DATA names the data folder; ctest sets it";
    std::vector<std::string> codes;
    for (const auto& entry : fs::directory_iterator(fs::path(data) / "genes")) {
        Outcome compiled = Sim("compile '" + entry.path().string() + "'");
        ASSERT_EQ(compiled.status, 0) << entry.path() << compiled.err;
        codes.push_back(compiled.out.substr(0, compiled.out.size() - 1));
    }
    std::string lines = "# recorded genes\n\n", table = "# {\"task\":\"goal\"}\nid,fitness,code\n";
    for (std::size_t i = 0; i < codes.size(); ++i) {
        Outcome decoded = Sim("decode '" + codes[i] + "'");
        EXPECT_EQ(decoded.status, 0) << decoded.err;
        EXPECT_EQ(Compiled(decoded.out), codes[i] + "\n");
        lines += codes[i] + "\r\n";
        table += std::to_string(10 + i) + ",0.5,\"" + codes[i] + "\"\n";
    }
    Write("genes.txt", lines);
    Write("individuals.csv", table);
    Outcome written = Sim("decode genes.txt --out decoded");
    EXPECT_EQ(written.status, 0) << written.err;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const std::string file = "decoded/gene-" + std::to_string(i + 3) + ".txt";
        EXPECT_NE(written.out.find(file + "\n"), std::string::npos) << written.out;
        const std::string text = ReadFile(dir + "/" + file);
        EXPECT_TRUE(text.starts_with("< genes.txt line " + std::to_string(i + 3) + " >\n")) << text;
        EXPECT_EQ(Compiled(text), codes[i] + "\n") << file;
        const std::string id = std::to_string(10 + i);
        Outcome row = Sim("decode individuals.csv --id " + id);
        EXPECT_TRUE(row.out.starts_with("< individuals.csv id " + id + " >\n")) << row.out << row.err;
        EXPECT_EQ(Compiled(row.out), codes[i] + "\n") << id;
    }
}

TEST_F(DecodeTest, WhatIsNoWholeGeneIsRefusedAndNothingIsWritten) {
    Write("mixed.txt", "1,0+0,0,0.5+\n\nADD 1 2\n");
    Write("table.csv", "id,code\n1,\"1,0+0,0,0.5+\"\n2,\"2,7+0,0,1+\"\n");
    struct Case {
        std::string arguments;
        std::string message;
    };
    for (const Case& c : std::vector<Case>{
             {"missing.txt", "cannot read 'missing.txt': No such file or directory"},
             {"1,2,3+",
              "'1,2,3+' is neither a readable file (No such file or directory) nor a code string: "
              "Unit::Parse; malformed code item: \"1,2,3\""},
             {"2,7+0,0,1+",
              "the code string '2,7+0,0,1+' is no whole gene: the gene is not one complete tree "
              "(arguments are missing)"},
             {"mixed.txt --out out", "mixed.txt line 3: Unit::Parse; malformed code item: \"ADD 1 2\""},
             {"table.csv --out out --id 1 --id 2",
              "table.csv id 2 (line 3): the gene is not one complete tree (arguments are missing)"},
             {"table.csv --id 7 --id 1 --id 5", "'table.csv' has no row with id 5, 7"},
             {"table.csv",
              "'table.csv' is a table (its header has id and code columns): name the rows to "
              "decode with --id N"},
             {"1,0+0,0,0.5+ --id 1", "--id picks rows of a table; '1,0+0,0,0.5+' is a code string"}}) {
        Outcome o = Sim("decode " + c.arguments);
        EXPECT_EQ(o.status, 2) << c.arguments;
        EXPECT_EQ(o.out, "") << c.arguments;
        EXPECT_EQ(o.err, "quillmoth-sim decode: " + c.message + "\n") << c.arguments;
        EXPECT_FALSE(fs::exists(fs::path(dir) / "out")) << c.arguments;
    }
}

TEST_F(DecodeTest, AGeneFileOfCodeStringsIsRefusedByEveryFrontEnd) {
    const std::string code = "2,16+1,6+0,0,0+2,3+0,0,0+0,0,1+";
    struct Case {
        std::string text;
        bool refused;
    };
    for (const Case& c : std::vector<Case>{{code + "\n", true},
                                           {"\n  " + code + "\r\n" + code + "  \n", true},
                                           {"3\n", false},
                                           {"0.5", false},
                                           {"PROG2 ( GDIVIDE ( 0 ) ADDPAR ( 0 1 ) )\n", false}}) {
        Write("g.txt", c.text);
        const std::string message =
            "GPmanager::GetCode; g.txt holds a code string, not gene source: quillmoth-sim decode g.txt "
            "writes it as gene source\n";
        for (const char* command :
             {"compile g.txt", "dump g.txt", "run g.txt --steps 2 --quiet --log log.txt",
              "evolve g.txt --population 3 --generations 1 --steps 2 --seed 1 --quiet --out search"}) {
            Outcome o = Sim(command);
            EXPECT_EQ(o.status, c.refused ? 1 : 0) << command << " of " << c.text << o.err;
            EXPECT_EQ(o.err.find(message) != std::string::npos, c.refused) << command << ": " << o.err;
            fs::remove_all(fs::path(dir) / "search");
        }
    }
}

}  // namespace
}  // namespace qm
