// The two error kinds and the chaining of signature lines onto a text error.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "shell/Errors.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

using test::ErrorTextOf;

TEST(ErrorsTest, EFailIsTheGraphicsErrorCode) { EXPECT_EQ(kEFail, -2147467259); }

TEST(SignedTest, PassesTheResultThrough) {
    EXPECT_EQ(Signed("Op\n", [] { return 42; }), 42);
    int calls = 0;
    Signed("Op\n", [&] { ++calls; });
    EXPECT_EQ(calls, 1);
}

TEST(SignedTest, PassesAReferenceThrough) {
    int value = 1;
    int& same = Signed("Op\n", [&]() -> int& { return value; });
    same = 5;
    EXPECT_EQ(value, 5);
}

TEST(SignedTest, TextErrorGetsTheSignatureLineInFront) {
    EXPECT_EQ(ErrorTextOf([] { Signed("NodeManager::Action; \n", [] { throw ErrorText{"GOAL!\n"}; }); }),
              "NodeManager::Action; \nGOAL!\n");
}

TEST(SignedTest, NestedLinesReadFromTheOutermostInward) {
    auto inner = [] { throw ErrorText{"GOAL!\n"}; };
    auto middle = [&] { Signed("NodeManager::nodeAction(TNode*): Node ID: 0;\n", inner); };
    auto outer = [&] { Signed("NodeManager::Action; \n", middle); };
    auto top = [&] { Signed("PTester::Action()\n", outer); };
    EXPECT_EQ(
        ErrorTextOf(top),
        "PTester::Action()\nNodeManager::Action; \nNodeManager::nodeAction(TNode*): Node ID: 0;\nGOAL!\n");
}

TEST(SignedTest, AnythingElseBecomesTheSignatureLineAlone) {
    EXPECT_EQ(ErrorTextOf([] { Signed("Op;\n", [] { throw std::runtime_error("lost"); }); }), "Op;\n");
    EXPECT_EQ(ErrorTextOf([] { Signed("Op;\n", [] { throw 3; }); }), "Op;\n");
    EXPECT_EQ(ErrorTextOf([] { Signed("Op;\n", [] { throw ErrorCode{kEFail}; }); }), "Op;\n");
    // ... and continues up the chain as a text error.
    EXPECT_EQ(ErrorTextOf([] { Signed("Outer\n", [] { Signed("Inner\n", [] { throw 1.5; }); }); }),
              "Outer\nInner\n");
}

TEST(SignedTest, SeparateLinesForTextAndForOtherErrors) {
    EXPECT_EQ(ErrorTextOf([] { Signed("text;\n", "other;\n", [] { throw ErrorText{"m\n"}; }); }),
              "text;\nm\n");
    EXPECT_EQ(ErrorTextOf([] { Signed("text;\n", "other;\n", [] { throw std::bad_alloc(); }); }), "other;\n");
}

TEST(SignedTest, FormattedLinesAreBuiltOnlyWhenAnErrorPasses) {
    int formatted = 0;
    auto line = [&] {
        ++formatted;
        return std::string("Node ID: 7;\n");
    };
    Signed(line, [] {});
    EXPECT_EQ(formatted, 0);
    EXPECT_EQ(ErrorTextOf([&] { Signed(line, [] { throw ErrorText{"x\n"}; }); }), "Node ID: 7;\nx\n");
    EXPECT_EQ(formatted, 1);
}

TEST(ReplacedTest, AnyErrorBecomesTheFixedMessage) {
    EXPECT_EQ(ErrorTextOf([] { Replaced("IntLinkForce\n", [] { throw ErrorText{"inner\n"}; }); }),
              "IntLinkForce\n");
    EXPECT_EQ(ErrorTextOf([] { Replaced("React(*)\n", [] { throw std::out_of_range("x"); }); }),
              "React(*)\n");
    EXPECT_EQ(Replaced("node render\n", [] { return 2.5; }), 2.5);
    EXPECT_EQ(ErrorTextOf([] { Signed("Outer\n", [] { Replaced("IntLinkForce\n", [] { throw 0; }); }); }),
              "Outer\nIntLinkForce\n");
}

TEST(ErrorsTest, ErrorCodesPassThroughOtherCode) {
    try {
        throw ErrorCode{kEFail};
    } catch (const ErrorText&) {
        FAIL() << "an error code is not a text";
    } catch (const ErrorCode& e) {
        EXPECT_EQ(e.code, kEFail);
    }
}

}  // namespace
}  // namespace qm
