// The options both programs give a run on their command lines.

#include <gtest/gtest.h>

#include "cli/RunOptions.h"

namespace qm::test {
namespace {

TEST(SeedOptionTest, WholeNumbersFromZeroTo2To32Minus1) {
    EXPECT_EQ(ParseSeed("0"), 0u);
    EXPECT_EQ(ParseSeed("4294967295"), 4294967295u);
    EXPECT_FALSE(ParseSeed("4294967296"));
    EXPECT_FALSE(ParseSeed("-3"));
    EXPECT_FALSE(ParseSeed("12x"));
    EXPECT_FALSE(ParseSeed(""));
    EXPECT_EQ(SeedError("x"), "--seed takes a whole number from 0 to 4294967295, not 'x'");
}

}  // namespace
}  // namespace qm::test
