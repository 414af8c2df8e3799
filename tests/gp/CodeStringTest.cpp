// Loading a code string into a gene, and copying genes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gp/GeneLimits.h"
#include "gp/Unit.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

using test::ErrorTextOf;

struct Item {
    int kind;
    int index;
    double value;
};

void ExpectItems(const Unit& unit, const std::vector<Item>& expected) {
    ASSERT_EQ(unit.Code().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const GeneElement& e = unit.Code()[i];
        EXPECT_EQ(e.kind, expected[i].kind) << "element " << i;
        EXPECT_EQ(e.index, expected[i].index) << "element " << i;
        if (e.IsConstant()) {
            EXPECT_EQ(e.value, expected[i].value) << "element " << i;
        }
    }
}

std::string ParseError(const std::string& code) {
    Unit unit;
    return ErrorTextOf([&] { unit.Parse(code); });
}

std::string Malformed(const std::string& item) {
    return "Unit::Parse; malformed code item: \"" + item + "\"\n";
}

TEST(ParseTest, ConstantAndPrimitives) {
    Unit unit;
    unit.Parse("0,0,0.25+");
    ExpectItems(unit, {{0, 0, 0.25}});
    unit.Parse("1,3+0,2+");
    ExpectItems(unit, {{1, 3, 0}, {0, 2, 0}});
    unit.Parse("2,16+1,6+0,0,0+2,3+0,0,0+0,0,1+");
    ExpectItems(unit, {{2, 16, 0}, {1, 6, 0}, {0, 0, 0.0}, {2, 3, 0}, {0, 0, 0.0}, {0, 0, 1.0}});
}

TEST(ParseTest, TrailingSeparatorAndEmptyItemsDoNotMatter) {
    Unit with, without, gaps;
    with.Parse("2,9+0,0,1.5+1,3+0,2+");
    without.Parse("2,9+0,0,1.5+1,3+0,2");
    gaps.Parse("+2,9++0,0,1.5+++1,3+0,2++");
    ExpectItems(with, {{2, 9, 0}, {0, 0, 1.5}, {1, 3, 0}, {0, 2, 0}});
    ExpectItems(without, {{2, 9, 0}, {0, 0, 1.5}, {1, 3, 0}, {0, 2, 0}});
    ExpectItems(gaps, {{2, 9, 0}, {0, 0, 1.5}, {1, 3, 0}, {0, 2, 0}});
}

TEST(ParseTest, EmptyStringGivesAnEmptyGene) {
    Unit unit;
    unit.Parse("0,2+");
    unit.Parse("");
    EXPECT_TRUE(unit.Code().empty());
    unit.Parse("+++");
    EXPECT_TRUE(unit.Code().empty());
}

TEST(ParseTest, ReplacesThePreviousElements) {
    Unit unit;
    unit.Parse("3,0+0,0,1+0,0,2+0,0,3+");
    unit.Parse("1,0+0,0,-4+");
    ExpectItems(unit, {{1, 0, 0}, {0, 0, -4.0}});
}

TEST(ParseTest, NumbersInEveryFormTheCompilerWrites) {
    Unit unit;
    unit.Parse("0,0,-0.5+0,0,1e-07+0,0,1.23457e06+0,0,-2e07+0,0,1e100+0,0,300+");
    ExpectItems(unit,
                {{0, 0, -0.5}, {0, 0, 1e-7}, {0, 0, 1234570.0}, {0, 0, -2e7}, {0, 0, 1e100}, {0, 0, 300}});
}

TEST(ParseTest, UnknownPrimitivesLoadAndAreReportedLater) {
    // The loader checks the form, not the registry.
    Unit unit;
    unit.Parse("1,99+0,7+");
    ExpectItems(unit, {{1, 99, 0}, {0, 7, 0}});
}

TEST(ParseTest, MalformedItemsAreRejected) {
    EXPECT_EQ(ParseError("1"), Malformed("1"));
    EXPECT_EQ(ParseError("2,9+0,0+1,3+0,2+"), Malformed("0,0"));  // a constant without its number
    EXPECT_EQ(ParseError("0,0,"), Malformed("0,0,"));
    EXPECT_EQ(ParseError("0,0,abc"), Malformed("0,0,abc"));
    EXPECT_EQ(ParseError("0,0,1.5x"), Malformed("0,0,1.5x"));
    EXPECT_EQ(ParseError("0,0,1,2"), Malformed("0,0,1,2"));
    EXPECT_EQ(ParseError("1,3,5+0,2+"), Malformed("1,3,5"));
    EXPECT_EQ(ParseError("a,b"), Malformed("a,b"));
    EXPECT_EQ(ParseError("1,x"), Malformed("1,x"));
    EXPECT_EQ(ParseError("1.5,3"), Malformed("1.5,3"));
    EXPECT_EQ(ParseError(",3"), Malformed(",3"));
    EXPECT_EQ(ParseError("1,"), Malformed("1,"));
    EXPECT_EQ(ParseError("99999999999,0"), Malformed("99999999999,0"));
}

TEST(ParseTest, CodesBeyondTheCompilersLimitsAreRefused) {
    // Nested 20,000 deep: printing or evaluating it would overflow the stack.
    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "1,0+";
    deep += "0,0,1+";
    Unit unit;
    EXPECT_EQ(ErrorTextOf([&] { unit.Parse(deep); }), "Unit::Parse; the code nests more than " +
                                                          std::to_string(kMaxGeneDepth) +
                                                          " calls deep, the limit\n");
    EXPECT_TRUE(unit.Code().empty());
    std::string flat;
    for (int i = 0; i <= kMaxGeneElements; ++i) flat += "0,1+";
    EXPECT_EQ(
        ErrorTextOf([&] { unit.Parse(flat); }),
        "Unit::Parse; the code has more than " + std::to_string(kMaxGeneElements) + " elements, the limit\n");
    // Exactly at the depth limit it loads and prints.
    std::string atLimit;
    for (int i = 1; i < kMaxGeneDepth; ++i) atLimit += "1,0+";
    unit.Parse(atLimit + "0,0,1+");
    EXPECT_FALSE(unit.ToString().empty());
    // A quoted item is cut short and shows control bytes escaped.
    EXPECT_EQ(ErrorTextOf([&] { unit.Parse("1,\x1B" + std::string(200, '9')); }),
              "Unit::Parse; malformed code item: \"1,\\x1B" + std::string(61, '9') + "…\"\n");
}

TEST(ParseTest, SplitLargeConstantIsRejectedNotMisread) {
    // What a "+" inside a number would do: "0,0,1e" and "06" are both malformed.
    EXPECT_EQ(ParseError("0,0,1e+06+"), Malformed("0,0,1e"));
}

TEST(ParseTest, KindsOutsideTheFourArityClassesAreRejected) {
    EXPECT_EQ(ParseError("4,0"), "Unit::Parse; element kind 4 out of range 0..3 in code item \"4,0\"\n");
    EXPECT_EQ(ParseError("2,9+0,0,1+-1,0"),
              "Unit::Parse; element kind -1 out of range 0..3 in code item \"-1,0\"\n");
}

TEST(ParseTest, ConstvByNameCompilesToAnItemTheLoaderRefuses) {
    EXPECT_EQ(ParseError(test::CompileSource("CONSTV")), Malformed("0,0"));
}

TEST(CopyFromTest, CopiesKindsIndicesAndConstants) {
    Unit source, copy;
    source.Parse("3,0+0,0,0.125+1,3+0,2+0,0,-7+");
    copy.Parse("0,4+");
    copy.CopyFrom(source);
    ExpectItems(copy, {{3, 0, 0}, {0, 0, 0.125}, {1, 3, 0}, {0, 2, 0}, {0, 0, -7.0}});
    EXPECT_EQ(copy.ToString(), source.ToString());
}

TEST(CopyFromTest, CopiesAreIndependent) {
    Unit source, copy;
    source.Parse("2,7+0,0,1+0,0,2+");
    copy.CopyFrom(source);
    source.Parse("0,2+");
    ExpectItems(copy, {{2, 7, 0}, {0, 0, 1.0}, {0, 0, 2.0}});
    EXPECT_EQ(copy.Evaluate(), 3.0);
}

TEST(CopyFromTest, EmptySourceLeavesAnEmptyGene) {
    Unit empty, copy;
    copy.Parse("0,2+");
    copy.CopyFrom(empty);
    EXPECT_TRUE(copy.Code().empty());
}

TEST(UnitTest, ClearEmptiesTheGene) {
    Unit unit;
    unit.Parse("2,7+0,0,1+0,0,2+");
    unit.Clear();
    EXPECT_TRUE(unit.Code().empty());
    EXPECT_EQ(unit.maxLength, 50);
}

TEST(UnitTest, TemplateGeneHasNoNodeAndANodesGeneHasItsNode) {
    Unit templateGene;
    EXPECT_EQ(templateGene.Node(), nullptr);
    test::GeneNode gene;
    EXPECT_EQ(gene.node.unit->Node(), &gene.node);
    EXPECT_EQ(gene.node.unit->maxLength, 50);
}

}  // namespace
}  // namespace qm
