#include "shell/random.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "shell/timers.h"

// The sequence must be the C library's, so records and simulations made before stay valid.
TEST(Random, MatchesTheLibraryForAnySeed) {
  for (uint32_t seed : {0u, 1u, 2u, 12345u, 2147483647u, 2147483648u, 4294967295u}) {
    RandomState state;
    SeedRandomState(state, seed);
    std::srand(seed);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(NextRandom(state), std::rand()) << "seed " << seed << " draw " << i;
  }
}

TEST(Random, UnseededCabinetDrawsAsSeedOne) {
  std::srand(1);
  RandomState copy = CabinetRandom();
  EXPECT_EQ(NextRandom(copy), std::rand());
}

TEST(Random, SavedStateReplaysTheSameDraws) {
  SeedRandom(777);
  for (int i = 0; i < 50; ++i) RandomBelow(20);
  std::string saved = FormatRandomState(CabinetRandom());
  uint32_t first[100];
  for (uint32_t& v : first) v = RandomBelow(1000);
  auto restored = ParseRandomState(saved);
  ASSERT_TRUE(restored);
  CabinetRandom() = *restored;
  for (uint32_t v : first) EXPECT_EQ(RandomBelow(1000), v);
  EXPECT_EQ(FormatRandomState(*restored), saved);
}

TEST(Random, ParseRefusesDamagedState) {
  RandomState state;
  SeedRandomState(state, 9);
  std::string good = FormatRandomState(state);
  EXPECT_TRUE(ParseRandomState(good));
  EXPECT_FALSE(ParseRandomState(""));
  EXPECT_FALSE(ParseRandomState(good.substr(0, good.rfind(' '))));  // a word short
  EXPECT_FALSE(ParseRandomState(good + " 5"));                      // a word over
  EXPECT_FALSE(ParseRandomState("3 1" + good.substr(good.find(' ', 2))));  // indices out of step
  EXPECT_FALSE(ParseRandomState("31 28" + good.substr(good.find(' ', 2))));
  EXPECT_FALSE(ParseRandomState(good + "x"));
}
