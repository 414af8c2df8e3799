// quillmoth-sim compile and dump as a user runs them: what reaches stdout and
// stderr, and the exit status. The expected texts are worked out by hand from
// the gene language's rules.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/SimProcess.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::Outcome;

class SimToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* path = test::SimBinary();
        if (!path) GTEST_SKIP() << "QM_SIM names the quillmoth-sim binary; ctest sets it";
        sim = path;
    }

    Outcome Sim(const std::string& arguments) { return test::RunSim(sim, arguments); }
    Outcome OnGene(const std::string& command, const std::string& source) {
        TempFile gene(source);
        return Sim(command + " '" + gene.PathString() + "'");
    }

    std::string sim;
};

TEST_F(SimToolTest, CompilePrintsTheCodeStringAndOneNewline) {
    const std::string code = "2,16+1,6+0,0,0+2,3+0,0,0+0,0,1+";
    const std::string gene =
        "PROG2 ( GDIVIDE ( 0 )        < divide when parameter 0 is full >\n"
        "        ADDPAR ( 0 1.0 ) )   < and keep filling it >\n";
    Outcome o = OnGene("compile", gene);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, code + "\n");
    EXPECT_EQ(o.err, "");  // the compiler's own debug text only with --debug
    Outcome debug = OnGene("compile --debug", gene);
    EXPECT_EQ(debug.out, code + "\n");
    EXPECT_EQ(debug.err, code + "\n");
}

TEST_F(SimToolTest, CompileOfLargeConstantsGivesItemsWithoutPlus) {
    Outcome o = OnGene("compile", "ADD 2500000 -1e-9");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "2,7+0,0,2.5e06+0,0,-1e-09+\n");
}

TEST_F(SimToolTest, DumpPrintsTheIndentedProgramExactly) {
    Outcome o = OnGene("dump", "MUL 1.5 POW2 GROUND");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out,
              "MUL ( \n"
              "  1.500000\n"
              "  POW2 ( \n"
              "    GROUND\n"
              "  ) \n"
              ") \n");
}

TEST_F(SimToolTest, DumpOfASequenceThatIsNotOneTreeShowsItsFirstTree) {
    Outcome o = OnGene("dump", "1.0 2.0 MUL");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "1.000000\n");
}

TEST_F(SimToolTest, DumpCompilesBackToTheSameCode) {
    const std::string source =
        "IFTE ( LT ( SMELL 0.25 ) PROG3 ( ELENGTH ( 3 ) SETCOLP ( 0 1 2 ) CUTEDGE ) "
        "IMPULSE ( 1 -0.125 ) )";
    Outcome compiled = OnGene("compile", source);
    Outcome dumped = OnGene("dump", source);
    ASSERT_EQ(dumped.status, 0);
    Outcome again = OnGene("compile", dumped.out);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, compiled.out);
    EXPECT_EQ(compiled.out,
              "3,0+2,11+0,1+0,0,0.25+3,1+1,8+0,0,3+3,2+0,0,0+0,0,1+0,0,2+0,5+2,2+0,0,1+0,0,-0.125+\n");
}

TEST_F(SimToolTest, UnknownNameIsAnErrorOnStderr) {
    for (const char* command : {"compile", "dump"}) {
        Outcome o = OnGene(command, "mul 1 2");
        EXPECT_EQ(o.status, 1) << command;
        EXPECT_EQ(o.out, "") << command;
        // The system's text exactly, then one line in words (ACompileErrorIsExplainedAfterTheLoggedText).
        const std::string logged = "GPmanager::GetCode; 不正な関数名が検出されました: mul\n";
        EXPECT_TRUE(o.err.starts_with(logged + "unknown primitive mul at ")) << command << ": " << o.err;
        EXPECT_TRUE(o.err.ends_with(":1:1; did you mean MUL?\n")) << command << ": " << o.err;
    }
}

TEST_F(SimToolTest, UnbalancedGenePrintsItsCodeStringThenTheError) {
    for (const char* command : {"compile --debug", "dump --debug"}) {
        Outcome o = OnGene(command, "ADD 1 (NEG 2)");
        EXPECT_EQ(o.status, 1) << command;
        EXPECT_EQ(o.out, "") << command;
        EXPECT_TRUE(
            o.err.starts_with("2,7+0,0,1+0,0,1+0,0,2+\nGPmanager::GetCode; 不正なコードです\n"
                              "more than one expression in "))
            << command << ": " << o.err;
    }
    // The glued "(NEG" is a number, so "2)" is left over: the hint names it and its place.
    const std::string err = OnGene("dump", "ADD 1 (NEG 2)").err;
    EXPECT_TRUE(err.starts_with("GPmanager::GetCode; 不正なコードです\nmore than one expression in ")) << err;
    EXPECT_NE(err.find(": 2) at "), std::string::npos) << err;
    EXPECT_TRUE(err.ends_with(":1:12 follows a whole program; join expressions with PROG2 or PROG3\n"))
        << err;
}

TEST_F(SimToolTest, MissingOrEmptyFileIsNotAProgram) {
    Outcome missing = Sim("compile /nonexistent/quillmoth/gene.txt");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err,
              "cannot read gene file /nonexistent/quillmoth/gene.txt: No such file or directory\n"
              "GPmanager::GetCode; 不正なコードです\n"
              "no gene in /nonexistent/quillmoth/gene.txt: it holds no element (only comments, or nothing it "
              "could read)\n");
    Outcome comment = OnGene("dump --debug", "< only a comment >");
    EXPECT_EQ(comment.status, 1);
    // An empty code string first, then the system's text and the same in words.
    EXPECT_TRUE(comment.err.starts_with("\nGPmanager::GetCode; 不正なコードです\nno gene in "))
        << comment.err;
}

TEST_F(SimToolTest, StructuralErrorWhilePrintingFailsTheDump) {
    Outcome o = OnGene("dump", "MUL 1 2 3 MUL");
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "不正な遺伝要素：TwoArg\n");
    // The same gene compiles: the balance check alone does not see it.
    EXPECT_EQ(OnGene("compile", "MUL 1 2 3 MUL").status, 0);
}

TEST_F(SimToolTest, ConstvByNameNeitherCompilesNorLoads) {
    // compile loads the code it made as dump and run do, and fails as they fail.
    Outcome compiled = OnGene("compile", "CONSTV");
    EXPECT_EQ(compiled.status, 1);
    EXPECT_EQ(compiled.out, "");
    EXPECT_EQ(compiled.err, "Unit::Parse; malformed code item: \"0,0\"\n");
    Outcome dumped = OnGene("dump", "CONSTV");
    EXPECT_EQ(dumped.status, 1);
    EXPECT_EQ(dumped.out, "");
    EXPECT_EQ(dumped.err, "Unit::Parse; malformed code item: \"0,0\"\n");
}

TEST_F(SimToolTest, HelpAndUsage) {
    Outcome help = Sim("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("quillmoth-sim compile [--debug] GENE_FILE"), std::string::npos);
    EXPECT_NE(help.out.find("--steps N"), std::string::npos);
    EXPECT_NE(help.out.find("quillmoth-sim dump [--debug] GENE_FILE"), std::string::npos);
    Outcome bare = Sim("compile");
    EXPECT_EQ(bare.status, 2);
    EXPECT_EQ(bare.out, "");
    EXPECT_EQ(bare.err,
              "quillmoth-sim: GENE_FILE is required\n(quillmoth-sim compile --help shows the usage)\n");
}

TEST_F(SimToolTest, EachCommandsHelpListsItsOwnOptionsOnly) {
    struct Case {
        const char* command;
        std::vector<const char*> own;
        std::vector<const char*> others;
    };
    for (const Case& c :
         {Case{"run", {"--steps N", "--trace FILE", "--profile", "--goal X,Y,Z"}, {"--population", "dump"}},
          Case{"evolve", {"--population N", "--generations N", "--goal X,Y,Z"}, {"--trace", "--profile"}},
          Case{"compile", {"quillmoth-sim compile [--debug] GENE_FILE"}, {"--steps", "--population"}},
          Case{"dump", {"quillmoth-sim dump [--debug] GENE_FILE"}, {"--steps", "--population"}},
          Case{"decode", {"--id N", "--out DIR", "-o,--output FILE"}, {"--steps", "--debug"}}}) {
        Outcome help = Sim(std::string(c.command) + " --help");
        EXPECT_EQ(help.status, 0) << c.command;
        EXPECT_TRUE(help.out.starts_with(std::string("usage: quillmoth-sim ") + c.command)) << help.out;
        for (const char* text : c.own)
            EXPECT_NE(help.out.find(text), std::string::npos) << c.command << ": " << text;
        for (const char* text : c.others)
            EXPECT_EQ(help.out.find(text), std::string::npos) << c.command << ": " << text;
    }
}

// What a person reads for a gene that does not compile: the log's exact text,
// then the fault in words with its place and a hint.
TEST_F(SimToolTest, ACompileErrorIsExplainedAfterTheLoggedText) {
    struct Case {
        std::string source;
        std::string logged;
        std::string hint;  // "g.txt" is the gene file's name
    };
    // The gene file is named as given on the command line: run in a folder of its own.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("qm-hint-" + std::to_string(getpid()));
    std::filesystem::create_directory(folder);
    const std::string badName = "GPmanager::GetCode; 不正な関数名が検出されました: ";
    const std::string badCode = "GPmanager::GetCode; 不正なコードです\n";
    for (const Case& c : std::vector<Case>{
             {"PROG2\n  ( GDIVIDE ( 0 ) )\n  ( GDIVDE 0 )\n", badName + "GDIVDE\n",
              "unknown primitive GDIVDE at g.txt:3:5; did you mean GDIVIDE?"},
             {"< a comment > gdivide 0", badName + "gdivide\n",
              "unknown primitive gdivide at g.txt:1:15; did you mean GDIVIDE?"},
             {"ADD 1 ZZZZZZZZ", badName + "ZZZZZZZZ\n", "unknown primitive ZZZZZZZZ at g.txt:1:7"},
             {"GDIVIDE ( 0 )\n\t1", badCode,
              "more than one expression in g.txt: 1 at g.txt:2:2 follows a whole program; join expressions "
              "with PROG2 or PROG3"},
             {"PROG3 ( 1 )", badCode,
              "the gene in g.txt ends with 2 argument(s) missing; check how many each primitive takes "
              "(docs/genes.md)"},
             {"< nothing >", badCode,
              "no gene in g.txt: it holds no element (only comments, or nothing it could read)"}}) {
        for (const char* command : {"compile", "dump"}) {
            std::ofstream(folder / "g.txt") << c.source;
            Outcome o = test::RunSim(sim, std::string(command) + " g.txt", folder.string());
            EXPECT_EQ(o.status, 1) << c.source;
            EXPECT_EQ(o.err, c.logged + c.hint + "\n") << command << " of " << c.source;
        }
    }
    std::filesystem::remove_all(folder);
}

TEST_F(SimToolTest, ShippedGenesCompileAndDump) {
    const char* data = std::getenv("QM_DATA");
    if (!data) GTEST_SKIP() << "QM_DATA names the data folder; ctest sets it";
    std::vector<std::filesystem::path> genes = {std::filesystem::path(data) / "source.txt"};
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(data) / "genes")) {
        if (entry.path().extension() == ".txt") genes.push_back(entry.path());
    }
    for (const auto& gene : genes) {
        const std::string path = "'" + gene.string() + "'";
        Outcome compiled = Sim("compile " + path);
        EXPECT_EQ(compiled.status, 0) << gene << ": " << compiled.err;
        Outcome dumped = Sim("dump " + path);
        EXPECT_EQ(dumped.status, 0) << gene << ": " << dumped.err;
        Outcome again = OnGene("compile", dumped.out);
        EXPECT_EQ(again.out, compiled.out) << gene;
    }
}

}  // namespace
}  // namespace qm
