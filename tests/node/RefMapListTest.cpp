// The link registry: one link per pair, both views always telling the same
// story, partners in the order their links were made, and the failure texts.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "base/Errors.h"
#include "node/RefMapList.h"
#include "support/ErrorOf.h"
#include "support/ExpectedDraws.h"

namespace qm {
namespace {

using test::ErrorOf;

class RefMapListTest : public ::testing::Test {
  protected:
    RefMapListTest() {
        for (int i = 0; i < 6; ++i) nodes.push_back(std::make_unique<TNode>(nullptr, i));
    }
    TNode* N(int i) { return nodes[static_cast<std::size_t>(i)].get(); }

    std::vector<TNode*> PartnersOf(TNode* a) const {
        auto partners = links.Partners(a);
        return {partners.begin(), partners.end()};
    }

    std::vector<std::unique_ptr<TNode>> nodes;
    RefMapList links;
};

TEST_F(RefMapListTest, ALinkIsFoundWhicheverWayThePairIsNamed) {
    links.Insert(N(0), N(1));
    EXPECT_TRUE(links.IsRef(N(0), N(1)));
    EXPECT_TRUE(links.IsRef(N(1), N(0)));
    EXPECT_FALSE(links.IsRef(N(0), N(2)));
    EXPECT_FALSE(links.IsRef(N(0), N(0)));
    EXPECT_EQ(links.Size(), 1u);
    EXPECT_EQ(links.PartnerEntries(), 2u);
}

TEST_F(RefMapListTest, LinkingAPairTwiceFailsEitherWayAndChangesNothing) {
    links.Insert(N(0), N(1));
    EXPECT_EQ(ErrorOf([&] { links.Insert(N(0), N(1)); }), "RefMapList::Insert; \nもう有る\n");
    EXPECT_EQ(ErrorOf([&] { links.Insert(N(1), N(0)); }), "RefMapList::Insert; \nもう有る\n");
    EXPECT_EQ(links.Size(), 1u);
    EXPECT_EQ(links.PartnerEntries(), 2u);
    EXPECT_EQ(PartnersOf(N(0)), std::vector<TNode*>{N(1)});
    EXPECT_EQ(PartnersOf(N(1)), std::vector<TNode*>{N(0)});
}

TEST_F(RefMapListTest, RemovingWithThePairReversedEmptiesBothViews) {
    links.Insert(N(0), N(1));
    links.Delete(N(1), N(0));
    EXPECT_FALSE(links.IsRef(N(0), N(1)));
    EXPECT_EQ(links.Size(), 0u);
    EXPECT_EQ(links.PartnerEntries(), 0u);
    EXPECT_EQ(links.PartnerCount(N(0)), 0);
    EXPECT_EQ(links.PartnerCount(N(1)), 0);
}

TEST_F(RefMapListTest, RemovingAPairThatIsNotLinkedFailsAndChangesNothing) {
    links.Insert(N(0), N(1));
    links.Insert(N(2), N(0));
    EXPECT_EQ(ErrorOf([&] { links.Delete(N(1), N(2)); }),
              "s::RefMapList::Delete(TNode*,TNode*); \nRefListから消えてない\n");
    EXPECT_EQ(links.Size(), 2u);
    EXPECT_EQ(links.PartnerEntries(), 4u);
    EXPECT_EQ(PartnersOf(N(0)), (std::vector<TNode*>{N(1), N(2)}));
}

TEST_F(RefMapListTest, RemovingTheSameLinkTwiceFailsTheSecondTime) {
    links.Insert(N(3), N(4));
    links.Delete(N(3), N(4));
    EXPECT_EQ(ErrorOf([&] { links.Delete(N(4), N(3)); }),
              "s::RefMapList::Delete(TNode*,TNode*); \nRefListから消えてない\n");
}

TEST_F(RefMapListTest, AMissingNodeIsReportedAsASortError) {
    EXPECT_EQ(ErrorOf([&] { links.IsRef(N(0), nullptr); }), "RefMapList::IsRef; \nsort err\n");
    EXPECT_EQ(ErrorOf([&] { links.Insert(nullptr, N(0)); }), "RefMapList::Insert; \nsort err\n");
    EXPECT_EQ(ErrorOf([&] { links.Delete(N(0), nullptr); }),
              "s::RefMapList::Delete(TNode*,TNode*); \nsort err\n");
    EXPECT_EQ(links.Size(), 0u);
}

TEST_F(RefMapListTest, RemovingEveryLinkOfANodeLeavesEachPartnerOneEntryShort) {
    links.Insert(N(0), N(1));
    links.Insert(N(2), N(0));
    links.Insert(N(0), N(3));
    links.Insert(N(1), N(2));
    links.Delete(N(0));
    EXPECT_EQ(links.PartnerCount(N(0)), 0);
    EXPECT_EQ(PartnersOf(N(1)), std::vector<TNode*>{N(2)});
    EXPECT_EQ(PartnersOf(N(2)), std::vector<TNode*>{N(1)});
    EXPECT_EQ(links.PartnerCount(N(3)), 0);
    EXPECT_EQ(links.Size(), 1u);
    EXPECT_TRUE(links.IsRef(N(2), N(1)));
}

TEST_F(RefMapListTest, RemovingTheLinksOfANodeWithoutLinksDoesNothing) {
    links.Insert(N(1), N(2));
    EXPECT_NO_THROW(links.Delete(N(0)));
    EXPECT_EQ(links.Size(), 1u);
    EXPECT_EQ(links.PartnerEntries(), 2u);
}

TEST_F(RefMapListTest, PartnersAreListedOldestLinkFirstNotByIdOrAddress) {
    links.Insert(N(0), N(4));
    links.Insert(N(2), N(0));  // the pair is stored as (0, 2); the entry of 0 still comes second
    links.Insert(N(0), N(1));
    EXPECT_EQ(PartnersOf(N(0)), (std::vector<TNode*>{N(4), N(2), N(1)}));
    links.Delete(N(2), N(0));  // taking one out leaves the others in their order
    EXPECT_EQ(PartnersOf(N(0)), (std::vector<TNode*>{N(4), N(1)}));
    links.Insert(N(3), N(0));
    EXPECT_EQ(PartnersOf(N(0)), (std::vector<TNode*>{N(4), N(1), N(3)}));
}

TEST_F(RefMapListTest, EveryLinkIsListedOnceSmallerIdFirstInIdOrder) {
    links.Insert(N(5), N(1));
    links.Insert(N(3), N(0));
    links.Insert(N(1), N(2));
    links.Insert(N(4), N(0));
    std::vector<std::pair<int, int>> seen;
    for (const auto& [pair, one] : links.Pairs()) {
        EXPECT_EQ(one, 1);
        seen.emplace_back(pair.first->id, pair.second->id);
    }
    const int base = N(0)->id;
    std::vector<std::pair<int, int>> expected{
        {base + 0, base + 3}, {base + 0, base + 4}, {base + 1, base + 2}, {base + 1, base + 5}};
    EXPECT_EQ(seen, expected);
    // Walked the other ways callers write it: by reference, and through the iterator.
    std::vector<std::pair<int, int>> again;
    for (auto& [pair, one] : links.Pairs()) again.emplace_back(pair.first->id, pair.second->id);
    EXPECT_EQ(again, expected);
    auto it = links.Pairs().begin();
    EXPECT_EQ(it->first.second, N(3));
    EXPECT_EQ(std::distance(links.Pairs().begin(), links.Pairs().end()), 4);
}

TEST(RefMapListOrderTest, OrderIsByIdEvenWhereAddressesRunTheOtherWay) {
    // Built from the last slot to the first: the later a node's address, the smaller its id.
    std::array<std::optional<TNode>, 4> slots;
    std::int32_t id = 0;
    for (std::size_t i = slots.size(); i-- > 0;) slots[i].emplace(nullptr, id++);
    TNode* high = &*slots[0];  // lowest address, largest id
    TNode* low = &*slots[3];   // highest address, smallest id
    ASSERT_LT(static_cast<const void*>(high), static_cast<const void*>(low));
    ASSERT_GT(high->id, low->id);
    RefMapList links;
    links.Insert(high, low);
    links.Insert(&*slots[1], &*slots[2]);
    std::vector<std::pair<TNode*, TNode*>> seen;
    for (const auto& [pair, one] : links.Pairs()) seen.push_back(pair);
    EXPECT_EQ(seen, (std::vector<std::pair<TNode*, TNode*>>{{low, high}, {&*slots[2], &*slots[1]}}));
}

TEST_F(RefMapListTest, ClearForgetsEveryLink) {
    links.Insert(N(0), N(1));
    links.Insert(N(1), N(2));
    links.Clear();
    EXPECT_EQ(links.Size(), 0u);
    EXPECT_EQ(links.PartnerEntries(), 0u);
    EXPECT_FALSE(links.IsRef(N(1), N(0)));
}

// A long run of random links and removals against a plain model: after every
// change both views hold exactly the model's links, and each node's partners
// come in the order in which its surviving links were made.
TEST(RefMapListModelTest, BothViewsAgreeWithTheModelAfterEveryChange) {
    constexpr int kNodes = 12;
    std::vector<std::unique_ptr<TNode>> owned;
    std::vector<TNode*> nodes;
    for (int i = 0; i < kNodes; ++i) {
        owned.push_back(std::make_unique<TNode>(nullptr, i));
        nodes.push_back(owned.back().get());
    }
    RefMapList links;
    std::set<std::pair<int, int>> pairs;             // by index, smaller first
    std::vector<std::vector<int>> partners(kNodes);  // by index, oldest first
    auto unlinkModel = [&](int a, int b) {
        pairs.erase({std::min(a, b), std::max(a, b)});
        auto& pa = partners[static_cast<std::size_t>(a)];
        pa.erase(std::find(pa.begin(), pa.end(), b));
        auto& pb = partners[static_cast<std::size_t>(b)];
        pb.erase(std::find(pb.begin(), pb.end(), a));
    };

    test::ExpectedDraws pick(2024);
    for (int round = 0; round < 3000; ++round) {
        int a = pick.Next() % kNodes;
        int b = pick.Next() % kNodes;
        if (pick.Next() % 20 == 0) {
            links.Delete(nodes[static_cast<std::size_t>(a)]);
            std::vector<int> gone = partners[static_cast<std::size_t>(a)];
            for (int p : gone) unlinkModel(a, p);
        } else if (a != b) {
            bool linked = pairs.count({std::min(a, b), std::max(a, b)}) > 0;
            if (linked) {
                links.Delete(nodes[static_cast<std::size_t>(b)], nodes[static_cast<std::size_t>(a)]);
                unlinkModel(a, b);
            } else {
                links.Insert(nodes[static_cast<std::size_t>(a)], nodes[static_cast<std::size_t>(b)]);
                pairs.insert({std::min(a, b), std::max(a, b)});
                partners[static_cast<std::size_t>(a)].push_back(b);
                partners[static_cast<std::size_t>(b)].push_back(a);
            }
        }

        ASSERT_EQ(links.Size(), pairs.size()) << "round " << round;
        ASSERT_EQ(links.PartnerEntries(), 2 * pairs.size()) << "round " << round;
        // Listed in the model's (ordered) pair order: ids grow with the index.
        std::vector<std::pair<int, int>> listed;
        for (const auto& [pair, one] : links.Pairs()) {
            ASSERT_LT(pair.first->id, pair.second->id);
            listed.emplace_back(pair.first->id - nodes[0]->id, pair.second->id - nodes[0]->id);
        }
        ASSERT_EQ(listed, (std::vector<std::pair<int, int>>(pairs.begin(), pairs.end())))
            << "round " << round;
        for (int i = 0; i < kNodes; ++i) {
            std::vector<int> got;
            for (TNode* partner : links.Partners(nodes[static_cast<std::size_t>(i)])) {
                got.push_back(partner->id - nodes[0]->id);
                ASSERT_TRUE(links.IsRef(partner, nodes[static_cast<std::size_t>(i)]));
                for (int j = 0; j < kNodes; ++j) {
                    TNode* other = nodes[static_cast<std::size_t>(j)];
                    ASSERT_EQ(RefMapList::Linked(nodes[static_cast<std::size_t>(i)], other),
                              links.IsRef(nodes[static_cast<std::size_t>(i)], other));
                }
            }
            ASSERT_EQ(got, partners[static_cast<std::size_t>(i)]) << "node " << i << ", round " << round;
        }
    }
}

// Nodes that lose all their links leave the id-ordered list (in batches,
// once they are many); linking them again puts them back in their place.
TEST(RefMapListModelTest, NodesThatLoseTheirLinksLeaveAndComeBackInIdOrder) {
    constexpr int kNodes = 400;
    std::vector<std::unique_ptr<TNode>> owned;
    for (int i = 0; i < kNodes; ++i) owned.push_back(std::make_unique<TNode>(nullptr, i));
    auto n = [&](int i) { return owned[static_cast<std::size_t>(i)].get(); };
    RefMapList links;
    for (int i = 0; i + 1 < kNodes; i += 2) links.Insert(n(i), n(i + 1));
    // Three pairs in four unlinked (150): past half the list, a compaction.
    for (int i = 0; i + 1 < kNodes; i += 2) {
        if ((i / 2) % 4 != 3) links.Delete(n(i));
    }
    // One in three of those linked again, the last first and named the other way round.
    for (int i = kNodes - 2; i >= 0; i -= 2) {
        if ((i / 2) % 4 == 0) links.Insert(n(i + 1), n(i));
    }
    std::vector<std::pair<int, int>> want;
    for (int i = 0; i + 1 < kNodes; i += 2) {
        if ((i / 2) % 4 == 3 || (i / 2) % 4 == 0) want.emplace_back(i, i + 1);
    }
    std::vector<std::pair<int, int>> got;
    for (const auto& [pair, one] : links.Pairs())
        got.emplace_back(pair.first->id - n(0)->id, pair.second->id - n(0)->id);
    EXPECT_EQ(got, want);
    EXPECT_EQ(links.Size(), want.size());
    std::size_t live = 0;
    for (const RefMapList::Member& m : links.Members()) live += m.node ? 1 : 0;
    EXPECT_EQ(live, 2 * want.size());
    EXPECT_LT(links.Members().size(), static_cast<std::size_t>(kNodes));  // the empty entries were dropped
}

}  // namespace
}  // namespace qm
