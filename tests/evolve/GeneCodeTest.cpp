// Genes as files: what the search writes compiles back to exactly the gene it
// evaluated, and genes that are not one tree within the limits are named.

#include <gtest/gtest.h>

#include "base/Random.h"
#include "evolve/GeneCode.h"
#include "evolve/SearchRandom.h"
#include "evolve/Variation.h"
#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "support/GeneSupport.h"

namespace qm::evolve {
namespace {

GeneCode Compiled(const std::string& source) { return ParseCode(test::CompileSource(source)); }

TEST(GeneCodeTest, TheSourceTextAndTheDumpOfAnyGeneCompileBackToItsCodeString) {
    SearchRandom random(7);
    for (int i = 0; i < 300; ++i) {
        GeneCode gene = RandomGene(random, 1 + i % 60);
        // Constants of every size: the compiler writes six digits and exponents without "+".
        for (std::size_t k = 0; k < gene.size(); ++k) {
            if (gene[k].IsConstant()) gene[k].value *= (k % 3 == 0) ? 1e7 : (k % 3 == 1 ? 1e-9 : 3.0);
        }
        Normalise(gene);
        const std::string code = CodeString(gene);
        ASSERT_EQ(test::CompileSource(SourceText(gene)), code) << SourceText(gene);
        ASSERT_EQ(CodeString(ParseCode(code)), code);
        Unit unit;
        unit.Parse(code);
        ASSERT_EQ(test::CompileSource(unit.ToString()), code) << unit.ToString();
    }
}

TEST(GeneCodeTest, NormalisingRoundsConstantsToWhatTheCodeStringAndTheDumpHold) {
    GeneCode gene = Compiled("PROG3 0.5 0.25 0.125");
    gene[1].value = 0.123456789;  // six significant digits and six decimals agree
    gene[2].value = -1234567.0;   // six significant digits keep less
    gene[3].value = 0.0289621;    // six decimals keep less
    Normalise(gene);
    EXPECT_EQ(gene[1].value, 0.123457);
    EXPECT_EQ(gene[2].value, -1.23457e6);
    EXPECT_EQ(gene[3].value, 0.028962);
    EXPECT_EQ(CodeString(gene), "3,1+0,0,0.123457+0,0,-1.23457e06+0,0,0.028962+");
}

TEST(GeneCodeTest, SourceTextNamesThePrimitivesAndIndentsLargeCalls) {
    EXPECT_EQ(SourceText(Compiled("PROG2 ADDPAR 0 100 GDIVIDE 0")),
              "PROG2 ( ADDPAR ( 0 100 ) GDIVIDE ( 0 ) )\n");
    EXPECT_EQ(SourceText(Compiled("IFTE GROUND PROG2 SETP 0 1 GDIVIDE 0 SETCOLP 0 0.5 1")),
              "IFTE (\n  GROUND\n  PROG2 ( SETP ( 0 1 ) GDIVIDE ( 0 ) )\n  SETCOLP ( 0 0.5 1 )\n)\n");
}

TEST(GeneCodeTest, ShapeProblemAcceptsOneTreeWithinTheLimitsOnly) {
    EXPECT_EQ(ShapeProblem(Compiled("MUL 1 2"), 50), "");
    EXPECT_EQ(ShapeProblem(Compiled("SMELL"), 1), "");
    // Passes the compiler's balance check without being one tree.
    EXPECT_NE(ShapeProblem(Compiled("1 2 MUL"), 50).find("not one complete tree"), std::string::npos);
    EXPECT_NE(ShapeProblem(ParseCode("2,9+0,0,1+"), 50).find("not one complete tree"), std::string::npos);
    EXPECT_EQ(ShapeProblem(Compiled("MUL 1 2"), 2), "the gene has 3 elements; the limit is 2");
    EXPECT_EQ(ShapeProblem(ParseCode("1,99+0,0,1+"), 50), "the element (1, 99) names no primitive");
    EXPECT_EQ(ShapeProblem({}, 50), "the gene is empty");
    // A chain of NEG deeper than the compiler allows, within the element limit.
    GeneCode deep(kMaxGeneDepth, GeneElement{1, 0, 0.0});
    deep.push_back(GeneElement{0, 0, 1.0});
    EXPECT_EQ(Depth(deep), kMaxGeneDepth + 1);
    EXPECT_NE(ShapeProblem(deep, kMaxGeneElements).find("nests 2501 calls deep"), std::string::npos);
}

}  // namespace
}  // namespace qm::evolve
