// The 15-bit generator and the fixed forms that scale its draws.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "base/Random.h"
#include "support/ExpectedDraws.h"
#include "support/GeneSupport.h"

namespace qm {
namespace {

TEST(RandomTest, SeedOneStartsWithTheKnownDraws) {
    Random random;
    random.Seed(1);
    EXPECT_EQ(random.Rand(), 41);
    EXPECT_EQ(random.Rand(), 18467);
    EXPECT_EQ(random.Rand(), 6334);
}

TEST(RandomTest, FollowsTheRecurrenceForLongRuns) {
    Random random;
    for (std::uint32_t seed : {0u, 1u, 12345u, 0x80000000u, 0xFFFFFFFFu}) {
        random.Seed(seed);
        test::ExpectedDraws lcg(seed);
        for (int i = 0; i < 10000; ++i)
            ASSERT_EQ(random.Rand(), lcg.Next()) << "seed " << seed << " draw " << i;
    }
}

TEST(RandomTest, SameSeedSameSequence) {
    Random random;
    std::vector<int> first, second;
    random.Seed(20240601);
    for (int i = 0; i < 100; ++i) first.push_back(random.Rand());
    random.Seed(20240601);
    for (int i = 0; i < 100; ++i) second.push_back(random.Rand());
    EXPECT_EQ(first, second);
}

TEST(RandomTest, DrawsStayWithinFifteenBits) {
    Random random;
    random.Seed(7);
    int lowest = 32767, highest = 0;
    for (int i = 0; i < 200000; ++i) {
        int r = random.Rand();
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, 32767);
}

TEST(RandomTest, SeedForDrawGivesTheWantedFirstDraw) {
    Random random;
    for (int r : {0, 1, 41, 12345, 32766, 32767}) {
        random.Seed(test::SeedForDraw(r));
        EXPECT_EQ(random.Rand(), r);
    }
}

// How often each result of RandRound(n) comes from the 32768 raw values.
std::map<int, int> RoundCounts(int n) {
    Random random;
    std::map<int, int> counts;
    for (int r = 0; r <= 32767; ++r) {
        random.Seed(test::SeedForDraw(r));
        counts[random.RandRound(n)] += 1;
    }
    return counts;
}

TEST(RandRoundTest, CountsOverEveryRawValue) {
    EXPECT_EQ(RoundCounts(1), (std::map<int, int>{{0, 16384}, {1, 16384}}));
    EXPECT_EQ(RoundCounts(2), (std::map<int, int>{{0, 8192}, {1, 16384}, {2, 8192}}));
    EXPECT_EQ(RoundCounts(5),
              (std::map<int, int>{{0, 3277}, {1, 6554}, {2, 6553}, {3, 6553}, {4, 6554}, {5, 3277}}));
    EXPECT_EQ(RoundCounts(0), (std::map<int, int>{{0, 32768}}));
}

TEST(RandRoundTest, OneConstantFormsCoverTheirWholeRange) {
    Random random;
    std::map<int, int> five, thirteen, eighteen;
    for (int r = 0; r <= 32767; ++r) {
        random.Seed(test::SeedForDraw(r));
        five[random.RandRoundScaled(kRandScale5)] += 1;
        random.Seed(test::SeedForDraw(r));
        thirteen[random.RandRoundScaled(kRandScale13)] += 1;
        random.Seed(test::SeedForDraw(r));
        eighteen[random.RandRoundScaled(kRandScale18)] += 1;
    }
    EXPECT_EQ(five, (std::map<int, int>{{0, 3277}, {1, 6554}, {2, 6553}, {3, 6553}, {4, 6554}, {5, 3277}}));
    ASSERT_EQ(thirteen.size(), 14u);
    EXPECT_EQ(thirteen.begin()->first, 0);
    EXPECT_EQ(thirteen[0], 1261);
    EXPECT_EQ(thirteen[13], 1261);
    ASSERT_EQ(eighteen.size(), 19u);
    EXPECT_EQ(eighteen[0], 911);
    EXPECT_EQ(eighteen[18], 911);
}

TEST(RandomScaleTest, ConstantsAreTheSinglePrecisionValues) {
    EXPECT_EQ(static_cast<double>(kRandScale1), 3.0518509447574615e-05);
    EXPECT_EQ(static_cast<double>(kRandScale2), 6.103701889514923e-05);
    EXPECT_EQ(static_cast<double>(kRandScale4), 0.00012207403779029846);
    EXPECT_EQ(static_cast<double>(kRandScale5), 0.00015259254723787308);
    EXPECT_EQ(static_cast<double>(kRandScale13), 0.00039674062281847);
    EXPECT_EQ(static_cast<double>(kRandScale18), 0.0005493331700563431);
    EXPECT_EQ(static_cast<double>(kRandScale1p8), 5.4933316278038546e-05);
    // ... which are the nearest floats to the ratios.
    EXPECT_EQ(kRandScale1, static_cast<float>(1.0 / 32767));
    EXPECT_EQ(kRandScale2, static_cast<float>(2.0 / 32767));
    EXPECT_EQ(kRandScale4, static_cast<float>(4.0 / 32767));
    EXPECT_EQ(kRandScale5, static_cast<float>(5.0 / 32767));
    EXPECT_EQ(kRandScale13, static_cast<float>(13.0 / 32767));
    EXPECT_EQ(kRandScale18, static_cast<float>(18.0 / 32767));
    EXPECT_EQ(kRandScale1p8, static_cast<float>(1.8 / 32767));
}

double WithDraw(int r, double (Random::*form)()) {
    Random random(test::SeedForDraw(r));
    return (random.*form)();
}

TEST(RandomScaleTest, UniformForms) {
    EXPECT_EQ(WithDraw(0, &Random::RandUniform), 0.0);
    EXPECT_EQ(WithDraw(32767, &Random::RandUniform), 32767 * 3.0518509447574615e-05);
    EXPECT_EQ(WithDraw(32767, &Random::RandUniform1p8), 32767 * 5.4933316278038546e-05);
    EXPECT_EQ(WithDraw(0, &Random::RandSymmetric1), -1.0);
    EXPECT_EQ(WithDraw(0, &Random::RandSymmetric2), -2.0);
    EXPECT_EQ(WithDraw(16384, &Random::RandSymmetric2), 16384 * 0.00012207403779029846 - 2.0);
}

TEST(RandomScaleTest, SymmetricTopIsJustBelowOne) {
    const double top = WithDraw(32767, &Random::RandSymmetric1);
    EXPECT_EQ(top, 32767 * 6.103701889514923e-05 - 1.0);
    EXPECT_LT(top, 1.0);
    EXPECT_GT(top, 0.999999998);
}

TEST(RandomScaleTest, EachFormTakesOneDraw) {
    Random random;
    for (double (Random::*form)() :
         {&Random::RandUniform, &Random::RandUniform1p8, &Random::RandSymmetric1, &Random::RandSymmetric2}) {
        random.Seed(5);
        (random.*form)();
        test::ExpectedDraws lcg(5);
        lcg.Next();
        EXPECT_EQ(random.Rand(), lcg.Next());
    }
    random.Seed(5);
    random.RandRound(7);
    random.RandRoundScaled(kRandScale18);
    test::ExpectedDraws lcg(5);
    lcg.Next();
    lcg.Next();
    EXPECT_EQ(random.Rand(), lcg.Next());
}

}  // namespace
}  // namespace qm
