// The compiler of gene source text: tokens, comments, numbers, names, the
// balance check, the size limits and the code string it writes.

#include <gtest/gtest.h>

#include <string>

#include "gp/GPmanager.h"
#include "gp/Unit.h"
#include "support/DebugCapture.h"
#include "support/GeneSupport.h"
#include "support/TestFiles.h"

namespace qm {
namespace {

using test::CompileSource;
using test::DebugCapture;
using test::ErrorTextOf;

const std::string kBadCode = "GPmanager::GetCode; 不正なコードです\n";

std::string BadName(const std::string& token) {
    return "GPmanager::GetCode; 不正な関数名が検出されました: " + token + "\n";
}

std::string CompileError(const std::string& source) {
    return ErrorTextOf([&] { CompileSource(source); });
}

TEST(GetCodeTest, ExampleProgramWithCommentsAndParentheses) {
    EXPECT_EQ(CompileSource("PROG2 ( GDIVIDE ( 0 )        < divide when parameter 0 is full >\n"
                            "        ADDPAR ( 0 1.0 ) )   < and keep filling it >\n"),
              "2,16+1,6+0,0,0+2,3+0,0,0+0,0,1+");
}

TEST(GetCodeTest, LayoutAndParenthesesCarryNoStructure) {
    const std::string expected = "2,9+0,0,1.5+1,3+0,2+";
    EXPECT_EQ(CompileSource("MUL 1.5 POW2 GROUND"), expected);
    EXPECT_EQ(CompileSource("MUL (\n\t1.5 )\r\n ( ( POW2 GROUND ) ) ) )"), expected);
    EXPECT_EQ(CompileSource("\n\n  MUL\t1.5\tPOW2\r\nGROUND\n\n"), expected);
}

TEST(GetCodeTest, SingleConstant) { EXPECT_EQ(CompileSource("0.25"), "0,0,0.25+"); }

TEST(GetCodeTest, CommentsSkipTokensUpToTheFirstClosingMarker) {
    EXPECT_EQ(CompileSource("< MUL NEG > 1"), "0,0,1+");
    // No nesting: a second "<" keeps the comment open and the first ">" ends it.
    EXPECT_EQ(CompileSource("< a < b > 2"), "0,0,2+");
    // Outside a comment ">" does nothing.
    EXPECT_EQ(CompileSource("> 3 >"), "0,0,3+");
    // Names inside a comment are not looked up.
    EXPECT_EQ(CompileSource("NEG < mul ( ) 7 > 4"), "1,0+0,0,4+");
}

TEST(GetCodeTest, OnlyAComment_EmptyFile_MissingFileAreNotAProgram) {
    EXPECT_EQ(CompileError("< nothing here >"), kBadCode);
    EXPECT_EQ(CompileError(""), kBadCode);
    EXPECT_EQ(CompileError(" \n\t "), kBadCode);
    EXPECT_EQ(ErrorTextOf([] {
                  DebugCapture quiet;
                  GPmanager::GetInstance()->GetCode("/nonexistent/quillmoth/source.txt", quiet.Target());
              }),
              kBadCode);
}

TEST(GetCodeTest, UnbalancedSequencesAreRejected) {
    EXPECT_EQ(CompileError("MUL 1"), kBadCode);
    EXPECT_EQ(CompileError("1 2"), kBadCode);
    EXPECT_EQ(CompileError("IFTE 1 2"), kBadCode);
    EXPECT_EQ(CompileError("NEG"), kBadCode);
}

TEST(GetCodeTest, BalanceAloneDecides) {
    // Not one tree, but the arities add up to one expression.
    EXPECT_EQ(CompileSource("1.0 2.0 MUL"), "0,0,1+0,0,2+2,9+");
    EXPECT_EQ(CompileSource("MUL 1 2 3 MUL"), "2,9+0,0,1+0,0,2+0,0,3+2,9+");
}

TEST(GetCodeTest, UnknownNamesAreReportedWithTheToken) {
    EXPECT_EQ(CompileError("mul 1 2"), BadName("mul"));
    EXPECT_EQ(CompileError("MUL 1 GRUOND"), BadName("GRUOND"));
    // A parenthesis glued after a name belongs to the name.
    EXPECT_EQ(CompileError("NEG( MUL) 1 2"), BadName("NEG("));
    // "A" and "z" bound the range of name tokens; "[" and "_" lie inside it.
    EXPECT_EQ(CompileError("A"), BadName("A"));
    EXPECT_EQ(CompileError("z"), BadName("z"));
    EXPECT_EQ(CompileError("[1]"), BadName("[1]"));
    EXPECT_EQ(CompileError("_"), BadName("_"));
}

TEST(GetCodeTest, UnknownNameStopsCompilingBeforeAnythingIsPrinted) {
    TempFile file("NEG 1 nope 2");
    DebugCapture debug;
    EXPECT_EQ(ErrorTextOf([&] { GPmanager::GetInstance()->GetCode(file.Path(), debug.Target()); }),
              BadName("nope"));
    EXPECT_EQ(debug.Text(), "");
}

TEST(GetCodeTest, CodeStringGoesToTheDebugOutputAlsoWhenRejected) {
    {
        TempFile file("NEG 0.5");
        DebugCapture debug;
        EXPECT_EQ(GPmanager::GetInstance()->GetCode(file.Path(), debug.Target()), "1,0+0,0,0.5+");
        EXPECT_EQ(debug.Text(), "1,0+0,0,0.5+\n");
    }
    {
        TempFile file("ADD 1");
        DebugCapture debug;
        EXPECT_EQ(ErrorTextOf([&] { GPmanager::GetInstance()->GetCode(file.Path(), debug.Target()); }),
                  kBadCode);
        EXPECT_EQ(debug.Text(), "2,7+0,0,1+\n");
    }
    {
        TempFile file("");
        DebugCapture debug;
        ErrorTextOf([&] { GPmanager::GetInstance()->GetCode(file.Path(), debug.Target()); });
        EXPECT_EQ(debug.Text(), "cannot read gene file " + file.PathString() + ": it is empty\n\n");
    }
}

TEST(GetCodeTest, NumberTokenForms) {
    EXPECT_EQ(CompileSource("PROG3 -0.5 .5 PROG2 +2 3e2"), "3,1+0,0,-0.5+0,0,0.5+2,16+0,0,2+0,0,300+");
    // Default stream formatting: six significant digits, general notation.
    EXPECT_EQ(CompileSource("PROG3 1.0 0.1234567 0.0000001"), "3,1+0,0,1+0,0,0.123457+0,0,1e-07+");
    // The longest numeric prefix is read; the rest of the token is ignored.
    EXPECT_EQ(CompileSource("ADD 2.5abc 7)"), "2,7+0,0,2.5+0,0,7+");
    EXPECT_EQ(CompileSource("PROG3 1.5.3 0x1A 1e5e3"), "3,1+0,0,1.5+0,0,0+0,0,100000+");
    // An exponent mark without digits ends the prefix before the mark.
    EXPECT_EQ(CompileSource("PROG3 1e 2.5E+ -3e-x"), "3,1+0,0,1+0,0,2.5+0,0,-3+");
}

TEST(GetCodeTest, NumbersOutOfRangeRepeatThePreviousNumber) {
    EXPECT_EQ(CompileSource("ADD 5 1e999"), "2,7+0,0,5+0,0,5+");
    EXPECT_EQ(CompileSource("ADD 5 -2E+400"), "2,7+0,0,5+0,0,5+");
}

TEST(GetCodeTest, GluedParenthesisRepeatsThePreviousNumber) {
    // "(NEG" starts with "(": a number token that reads no number.
    EXPECT_EQ(CompileSource("ADD 1 (NEG"), "2,7+0,0,1+0,0,1+");
    // Usually that breaks the balance.
    EXPECT_EQ(CompileError("ADD 1 (NEG 2)"), kBadCode);
}

TEST(GetCodeTest, GluedCommentMarkerIsANumberNotAComment) {
    EXPECT_EQ(CompileSource("ADD 2 <note"), "2,7+0,0,2+0,0,2+");
    // Glued after a word, ">" is part of a name.
    EXPECT_EQ(CompileError("ADD 2 note> 3"), BadName("note>"));
}

TEST(GetCodeTest, NumberStartsAtZeroAndKeepsItsValueAcrossTokens) {
    EXPECT_EQ(CompileSource("ADD - 1"), "2,7+0,0,0+0,0,1+");
    EXPECT_EQ(CompileSource("PROG3 5 NEG ( - ) @"), "3,1+0,0,5+1,0+0,0,5+0,0,5+");
}

TEST(GetCodeTest, BytesFrom0x80AreNumberTokens) {
    // The first byte, taken as signed, is negative: below "A".
    EXPECT_EQ(CompileSource("ADD 4 \xC3\xA9t\xC3\xA9"), "2,7+0,0,4+0,0,4+");
    EXPECT_EQ(CompileSource("MUL 9 \xFF"), "2,9+0,0,9+0,0,9+");
    EXPECT_EQ(CompileSource("MUL 9 \x80"
                            "12"),
              "2,9+0,0,9+0,0,9+");
    // Bytes just above "z" are number tokens too.
    EXPECT_EQ(CompileSource("SUB 6 {x}"), "2,8+0,0,6+0,0,6+");
}

TEST(GetCodeTest, EveryPrimitiveNameCompilesToItsKindAndIndex) {
    for (const auto& f : GPmanager::GetInstance()->Functions()) {
        if (f->Name() == "CONSTV") continue;  // a name with no value: see below
        std::string source = f->Name();
        for (int i = 0; i < f->kind; ++i) source += " 1";
        std::string expected = std::to_string(f->kind) + "," + std::to_string(f->index) + "+";
        for (int i = 0; i < f->kind; ++i) expected += "0,0,1+";
        EXPECT_EQ(CompileSource(source), expected) << f->Name();
    }
    // CONSTV by name is the element (0, 0) without a number: it loads as a malformed item.
    EXPECT_EQ(CompileSource("CONSTV"), "0,0+");
}

TEST(GetCodeTest, LargeConstantsLoadBackFromTheCodeString) {
    struct Case {
        const char* token;
        const char* item;
        double loaded;
    };
    const Case cases[] = {
        {"999999", "0,0,999999", 999999.0},
        {"1e6", "0,0,1e06", 1e6},
        {"1234567", "0,0,1.23457e06", 1234570.0},
        {"-2e7", "0,0,-2e07", -2e7},
        {"9999996", "0,0,1e07", 1e7},
        {"1e100", "0,0,1e100", 1e100},
        {"-3.5e-8", "0,0,-3.5e-08", -3.5e-8},
    };
    for (const Case& c : cases) {
        std::string code = CompileSource(c.token);
        EXPECT_EQ(code, std::string(c.item) + "+") << c.token;
        Unit unit;
        unit.Parse(code);
        ASSERT_EQ(unit.Code().size(), 1u) << c.token;
        EXPECT_TRUE(unit.Code()[0].IsConstant());
        EXPECT_EQ(unit.Code()[0].value, c.loaded) << c.token;
    }
    // In a longer program no item is split.
    Unit unit;
    unit.Parse(CompileSource("IFTE 1e6 -1e7 1e-7"));
    ASSERT_EQ(unit.Code().size(), 4u);
    EXPECT_EQ(unit.Code()[1].value, 1e6);
    EXPECT_EQ(unit.Code()[2].value, -1e7);
    EXPECT_EQ(unit.Code()[3].value, 1e-7);
}

TEST(GetCodeTest, GeneOfThousandsOfElementsCompilesAndRuns) {
    // 4096 leaves: 8191 elements, nested 13 deep.
    test::GeneNode gene;
    EXPECT_EQ(gene.Run(test::BalancedSum(4096)), 4096.0);
    EXPECT_EQ(gene.node.unit->Code().size(), 8191u);
}

TEST(GetCodeTest, ElementLimit) {
    // NEG over a balanced sum: 1 + (2 * leaves - 1) elements.
    Unit unit;
    unit.Parse(CompileSource("NEG " + test::BalancedSum(kMaxGeneElements / 2)));
    EXPECT_EQ(static_cast<int>(unit.Code().size()), kMaxGeneElements);

    std::string error = CompileError("NEG NEG " + test::BalancedSum(kMaxGeneElements / 2));
    EXPECT_EQ(error, "GPmanager::GetCode; the gene has more than " + std::to_string(kMaxGeneElements) +
                         " elements, the limit\n");
}

TEST(GetCodeTest, NestingLimit) {
    auto chain = [](int negs) {
        std::string source;
        for (int i = 0; i < negs; ++i) source += "NEG ( ";
        return source + "1";
    };
    // kMaxGeneDepth - 1 calls around a constant: the constant sits kMaxGeneDepth deep.
    test::GeneNode gene;
    const double expected = (kMaxGeneDepth - 1) % 2 == 0 ? 1.0 : -1.0;
    EXPECT_EQ(gene.Run(chain(kMaxGeneDepth - 1)), expected);
    EXPECT_FALSE(gene.node.unit->ToString().empty());

    EXPECT_EQ(CompileError(chain(kMaxGeneDepth)),
              "GPmanager::GetCode; the gene nests " + std::to_string(kMaxGeneDepth + 1) +
                  " calls deep; the limit is " + std::to_string(kMaxGeneDepth) + "\n");
}

// What is wrong with a file that is no gene goes to the debug output (standard
// error) in one line; the error itself stays the system's.
TEST(GetCodeTest, UnreadableFilesSayWhy) {
    const auto causeOf = [](const std::string& path) {
        DebugCapture debug;
        EXPECT_EQ(ErrorTextOf([&] { GPmanager::GetInstance()->GetCode(path.c_str(), debug.Target()); }),
                  kBadCode);
        return debug.Text().substr(0, debug.Text().find('\n'));
    };
    EXPECT_EQ(causeOf("/nonexistent/gene.txt"),
              "cannot read gene file /nonexistent/gene.txt: No such file or directory");
    EXPECT_EQ(causeOf("/tmp"), "cannot read gene file /tmp: it is a folder, not a regular file");
    TempFile utf16(
        std::string("\xFF\xFE"
                    "A\0D\0D\0 \0"
                    "1\0 \0"
                    "1\0",
                    14));
    EXPECT_EQ(causeOf(utf16.PathString()),
              "cannot read gene file " + utf16.PathString() + ": it is UTF-16 text; save it as UTF-8");
    // A name made of control bytes is quoted safely.
    EXPECT_EQ(causeOf("/nonexistent/\x1B]0;x\x07"),
              "cannot read gene file /nonexistent/\\x1B]0;x\\x07: No such file or directory");
}

TEST(GetCodeTest, AUtf8ByteOrderMarkIsSkipped) {
    TempFile file("\xEF\xBB\xBFNEG 0.5");
    DebugCapture debug;
    EXPECT_EQ(GPmanager::GetInstance()->GetCode(file.Path(), debug.Target()), "1,0+0,0,0.5+");
}

TEST(GetCodeTest, AnOversizedFileIsRefusedUnread) {
    TempFile file(std::string(kMaxGeneFileBytes + 1, ' '));
    DebugCapture debug;
    EXPECT_EQ(ErrorTextOf([&] { GPmanager::GetInstance()->GetCode(file.Path(), debug.Target()); }),
              "GPmanager::GetCode; the gene file " + file.PathString() + " is larger than " +
                  std::to_string(kMaxGeneFileBytes) + " bytes, the limit\n");
    TempFile fits(std::string(kMaxGeneFileBytes - 1, ' ') + "1");
    EXPECT_EQ(GPmanager::GetInstance()->GetCode(fits.Path(), debug.Target()), "0,0,1+");
}

TEST(GetCodeTest, AnUnknownNameIsQuotedShortAndPrintable) {
    EXPECT_EQ(CompileError("ADD\x1B[2J\x07 1 1"), BadName("ADD\\x1B[2J\\x07"));
    EXPECT_EQ(CompileError("Xé\xC3 1"), BadName("Xé\\xC3"));
    const std::string quoted = CompileError("A" + std::string(100000, 'b'));
    EXPECT_EQ(quoted, BadName("A" + std::string(63, 'b') + "…"));
}

}  // namespace
}  // namespace qm
