// The two error kinds and the chaining of signature lines onto a text error.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "base/Errors.h"
#include "support/ErrorOf.h"

namespace qm {
namespace {

using test::ErrorTextOf;

// An operation that signs its body the way the engine's operations do.
template <class Body>
void Signed(std::string_view onText, std::string_view onOther, Body body) try {
    body();
} catch (...) {
    RethrowSigned(onText, onOther);
}
template <class Body>
void Signed(std::string_view line, Body body) {
    Signed(line, line, body);
}
template <class Body>
void Replaced(std::string_view message, Body body) try {
    body();
} catch (...) {
    RethrowReplaced(message);
}

TEST(ErrorsTest, EFailIsTheGraphicsErrorCode) { EXPECT_EQ(kEFail, -2147467259); }

TEST(SignedTest, TextErrorGetsTheSignatureLineInFront) {
    EXPECT_EQ(ErrorTextOf([] { Signed("NodeManager::Action; \n", [] { throw ErrorText{"GOAL!\n"}; }); }),
              "NodeManager::Action; \nGOAL!\n");
}

TEST(SignedTest, NestedLinesReadFromTheOutermostInwardAndKeepTheGoalFlag) {
    auto inner = [] { throw ErrorText{"GOAL!\n", true}; };
    auto middle = [&] { Signed("NodeManager::nodeAction(TNode*): Node ID: 0;\n", inner); };
    auto outer = [&] { Signed("NodeManager::Action; \n", middle); };
    try {
        Signed("PTester::Action()\n", outer);
        FAIL() << "nothing was thrown";
    } catch (const ErrorText& e) {
        EXPECT_EQ(e.text,
                  "PTester::Action()\nNodeManager::Action; \nNodeManager::nodeAction(TNode*): Node ID: "
                  "0;\nGOAL!\n");
        EXPECT_TRUE(e.goal);
    }
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

TEST(ReplacedTest, AnyErrorBecomesTheFixedMessage) {
    EXPECT_EQ(ErrorTextOf([] { Replaced("IntLinkForce\n", [] { throw ErrorText{"inner\n"}; }); }),
              "IntLinkForce\n");
    EXPECT_EQ(ErrorTextOf([] { Replaced("React(*)\n", [] { throw std::out_of_range("x"); }); }),
              "React(*)\n");
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
