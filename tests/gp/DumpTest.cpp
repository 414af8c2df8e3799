// The indented dump of a gene, its failures, and that it compiles back.

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "base/Random.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

using test::CompileSource;
using test::ErrorTextOf;

std::string DumpOf(const std::string& code) {
    Unit unit;
    unit.Parse(code);
    return unit.ToString();
}

std::string DumpError(const std::string& code) {
    return ErrorTextOf([&] { DumpOf(code); });
}

TEST(DumpTest, ExampleProgramByteForByte) {
    EXPECT_EQ(DumpOf("2,9+0,0,1.5+1,3+0,2+"),
              "MUL ( \n"
              "  1.500000\n"
              "  POW2 ( \n"
              "    GROUND\n"
              "  ) \n"
              ") \n");
}

TEST(DumpTest, ThreeArgumentsAndDeeperNesting) {
    EXPECT_EQ(DumpOf(CompileSource("IFTE GROUND NEG SMELL PROG3 DIE 2 -3")),
              "IFTE ( \n"
              "  GROUND\n"
              "  NEG ( \n"
              "    SMELL\n"
              "  ) \n"
              "  PROG3 ( \n"
              "    DIE\n"
              "    2.000000\n"
              "    -3.000000\n"
              "  ) \n"
              ") \n");
}

TEST(DumpTest, SingleElements) {
    EXPECT_EQ(DumpOf("0,0,-0.25+"), "-0.250000\n");
    EXPECT_EQ(DumpOf("0,2+"), "GROUND\n");
    EXPECT_EQ(DumpOf("0,0,1234567+"), "1234567.000000\n");
    EXPECT_EQ(DumpOf("0,0,0.0000004+"), "0.000000\n");
}

TEST(DumpTest, OnlyTheFirstCompleteSubtreeIsPrinted) {
    EXPECT_EQ(DumpOf(CompileSource("1.0 2.0 MUL")), "1.000000\n");
    // A terminal other than a constant at the root: no size check either.
    EXPECT_EQ(DumpOf("0,3+0,0,1+0,0,2+"), "ECOUNT\n");
}

TEST(DumpTest, SizeMismatchesUseTheMessageOfTheRootsArity) {
    EXPECT_EQ(DumpError("1,0+0,0,1+0,0,2+"), "不正な遺伝要素：OneArg\n");
    EXPECT_EQ(DumpError(CompileSource("MUL 1 2 3 MUL")), "不正な遺伝要素：TwoArg\n");
    EXPECT_EQ(DumpError("3,1+0,0,1+0,0,2+0,0,3+0,0,4+"), "不正な遺伝要素：ThrArg\n");
}

TEST(DumpTest, UnknownPrimitiveMessagesNameThePrinter) {
    EXPECT_EQ(DumpError("0,6+"), "SubUnit::zeroArgFunc(); 不正な関数呼び出しです\n");
    EXPECT_EQ(DumpError("1,14+0,0,1+"), "SubUnit::oneArgFunc(); 不正な関数呼び出しです\n");
    EXPECT_EQ(DumpError("2,19+0,0,1+0,0,2+"), "SubUnit::towArgsFunc(); 不正な関数呼び出しです\n");
    EXPECT_EQ(DumpError("3,3+0,0,1+0,0,2+0,0,3+"), "SubUnit::thrArgsFunc(); 不正な関数呼び出しです\n");
    // The structural check comes before the lookup.
    EXPECT_EQ(DumpError("1,14+0,0,1+0,0,2+"), "不正な遺伝要素：OneArg\n");
}

TEST(DumpTest, ElementOfNoKnownKindPrintsAsNothing) {
    Unit unit;
    unit.Append(GeneElement{4, 0, 0.0});
    EXPECT_EQ(unit.ToString(), "");
}

TEST(DumpTest, ViewPastTheEndIsAnOutOfRangeError) {
    Unit empty;
    EXPECT_THROW(empty.ToString(), std::out_of_range);
    EXPECT_THROW(DumpOf("2,9+"), std::out_of_range);
    // NEG(MUL(1, ?)): the missing argument would start at the end of the code.
    EXPECT_THROW(DumpOf("1,0+2,9+0,0,1+"), std::out_of_range);
}

TEST(DumpTest, DumpCompilesBackToTheSameProgram) {
    const char* sources[] = {
        "MUL 1.5 POW2 GROUND",
        "PROG2 ( GDIVIDE ( 0 ) ADDPAR ( 0 1.0 ) )",
        "SETCOLP GETP 0 GETP 1 GETP 2",
        "IFTE LT SMELL 0.25 PROG3 ELENGTH 3 DYNFRIC 0.5 CUTEDGE IMPULSE 1 -0.125",
        "0.123457",
        "-1234.5",
    };
    for (const char* source : sources) {
        std::string code = CompileSource(source);
        EXPECT_EQ(CompileSource(DumpOf(code)), code) << source;
    }
}

TEST(DumpTest, ConstantsComeBackRoundedToSixDecimals) {
    EXPECT_EQ(CompileSource(DumpOf(CompileSource("ADD 0.0000123 0.1234567"))),
              "2,7+0,0,1.2e-05+0,0,0.123457+");
}

TEST(DumpTest, RandomGenesSurviveDumpAndRecompile) {
    Random random;
    Unit maker;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        random.Seed(seed);
        std::vector<GeneElement> tree;
        maker.RandomTree(random, 50, tree);
        Unit gene;
        for (const GeneElement& e : tree) gene.Append(e);

        Unit back;
        back.Parse(CompileSource(gene.ToString()));
        ASSERT_EQ(back.Code().size(), tree.size()) << "seed " << seed;
        for (std::size_t i = 0; i < tree.size(); ++i) {
            EXPECT_EQ(back.Code()[i].kind, tree[i].kind);
            EXPECT_EQ(back.Code()[i].index, tree[i].index);
            if (tree[i].IsConstant()) {
                EXPECT_NEAR(back.Code()[i].value, tree[i].value, 5.000001e-7);
            }
        }
    }
}

}  // namespace
}  // namespace qm
