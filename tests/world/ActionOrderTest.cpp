// The turn order of a step. The fast shuffle must give the very list the
// literal one gives, and leave the generator where the literal one leaves it.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Random.h"
#include "node/TNode.h"
#include "support/ExpectedDraws.h"
#include "world/ActionOrder.h"

namespace qm {
namespace {

class ActionOrderTest : public ::testing::Test {
  protected:
    std::vector<TNode*> FirstNodes(int n) {
        while (static_cast<int>(owned.size()) < n)
            owned.push_back(std::make_unique<TNode>(nullptr, static_cast<std::int32_t>(owned.size())));
        std::vector<TNode*> list;
        for (int i = 0; i < n; ++i) list.push_back(owned[static_cast<std::size_t>(i)].get());
        return list;
    }
    std::vector<std::unique_ptr<TNode>> owned;
    Random random;
};

TEST_F(ActionOrderTest, LiteralShuffleMovesTheDrawnEntryToTheEnd) {
    // Worked by hand: with seed 1 the draws are 41, 18467, 6334; with n = 3
    // RandRound(2) gives 0, 1, 0 (41 * 2 / 32767 rounds to 0, 18467 * 2 / 32767
    // = 1.13 rounds to 1, 6334 * 2 / 32767 = 0.39 rounds to 0).
    std::vector<TNode*> list = FirstNodes(3);
    TNode* a = list[0];
    TNode* b = list[1];
    TNode* c = list[2];
    random.Seed(1);
    ShuffleLiterally(list, random);
    // [a b c] -> move 0 -> [b c a] -> move 1 -> [b a c] -> move 0 -> [a c b]
    EXPECT_EQ(list, (std::vector<TNode*>{a, c, b}));
}

TEST_F(ActionOrderTest, LiteralShuffleMatchesTheRuleWrittenInTheTest) {
    for (unsigned seed : {1u, 7u, 99u, 123456789u}) {
        for (int n : {1, 2, 5, 17, 64}) {
            std::vector<TNode*> list = FirstNodes(n);
            std::vector<TNode*> expected = list;
            test::ExpectedDraws lcg(seed);
            lcg.Shuffle(expected);
            random.Seed(seed);
            ShuffleLiterally(list, random);
            EXPECT_EQ(list, expected) << "seed " << seed << ", n " << n;
            EXPECT_EQ(random.Rand(), lcg.Next()) << "seed " << seed << ", n " << n;
        }
    }
}

TEST_F(ActionOrderTest, AnEmptyListDrawsNothing) {
    std::vector<TNode*> list;
    ActionOrderShuffler shuffler;
    test::ExpectedDraws lcg(5);
    random.Seed(5);
    shuffler.Shuffle(list, random);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(random.Rand(), lcg.Next());
}

TEST_F(ActionOrderTest, FastShuffleGivesTheLiteralListAndGeneratorStateForManySizesAndSeeds) {
    std::vector<int> sizes;
    for (int n = 1; n <= 70; ++n) sizes.push_back(n);
    for (int n : {127, 128, 129, 255, 256, 257, 500, 1000, 1023, 1024, 1025, 3000}) sizes.push_back(n);
    ActionOrderShuffler shuffler;  // one shuffler for every size, as a world keeps it
    for (unsigned seed : {0u, 1u, 42u, 31337u, 4294967295u}) {
        for (int n : sizes) {
            std::vector<TNode*> fast = FirstNodes(n);
            std::vector<TNode*> literal = fast;
            random.Seed(seed);
            shuffler.Shuffle(fast, random);
            int afterFast = random.Rand();
            random.Seed(seed);
            ShuffleLiterally(literal, random);
            int afterLiteral = random.Rand();
            ASSERT_EQ(fast, literal) << "seed " << seed << ", n " << n;
            ASSERT_EQ(afterFast, afterLiteral) << "seed " << seed << ", n " << n;
        }
    }
}

TEST_F(ActionOrderTest, RepeatedShufflesOfTheSameListStayInStep) {
    // A world shuffles its list again every step, starting from id order each
    // time; chaining shuffles of the previous result exercises other inputs.
    std::vector<TNode*> fast = FirstNodes(300);
    std::vector<TNode*> literal = fast;
    ActionOrderShuffler shuffler;
    random.Seed(8);
    for (int round = 0; round < 20; ++round) shuffler.Shuffle(fast, random);
    int afterFast = random.Rand();
    random.Seed(8);
    for (int round = 0; round < 20; ++round) ShuffleLiterally(literal, random);
    EXPECT_EQ(fast, literal);
    EXPECT_EQ(afterFast, random.Rand());
}

}  // namespace
}  // namespace qm
