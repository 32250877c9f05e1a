#include "sv_f_02/delays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "sv_f_02/fx_test_support.h"

namespace {

using fxtest::set;

class ChainDelays : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(fx::initChain(1 << 17), 0); }
  void TearDown() override { fx::closeChain(); }
  fxtest::ConstantsFolder folder_;
};

TEST_F(ChainDelays, CombWithControlsAtZeroAddsOnlyTheOffset) {
  ASSERT_EQ(set(50, 1), 0);
  std::mt19937 random(5);
  std::uniform_real_distribution<float> level(-0.45f, 0.45f);
  std::vector<float> left(4000), right(4000);
  for (size_t i = 0; i < left.size(); ++i) left[i] = right[i] = level(random);
  auto input = left;
  fxtest::run(left, right);
  for (size_t i = 0; i < left.size(); ++i) ASSERT_EQ(left[i], static_cast<float>(input[i] + 1e-14)) << i;
}

// Impulse in, repeats out: once the delay has settled on its target, an impulse comes back that much later,
// at the wet share, and each round through the feedback costs 0.8 x 32766 / (32766 + 8).
TEST_F(ChainDelays, EchoRepeatsAnImpulseAtItsDelayWithItsFeedback) {
  ASSERT_EQ(set(60, 1), 0);
  std::vector<float> settle(1 << 16, 0.0f), settleRight(1 << 16, 0.0f);
  fxtest::run(settle, settleRight);  // the delay of Init (0) takes effect
  ASSERT_EQ(set(1900, 1000), 0);
  ASSERT_EQ(set(1901, 1000), 0);
  ASSERT_EQ(set(1902, 1000), 0);
  fxtest::run(settle, settleRight);  // the delay jumps to 32766, the wet share glides to 0.7
  ASSERT_EQ(fx::chain().echo[0].delay(), 32766.0f);
  const double wet = fx::chain().echo[0].wet();  // rests within float rounding of 0.7
  ASSERT_NEAR(wet, 0.7, 2e-4);

  const int n = 3 * 32768;
  std::vector<float> left = fxtest::impulse(n, 0.5f), right(n, 0.0f);
  fxtest::run(left, right);
  // (Summed with the neighbours, so that a delay resting a rounding step off its target would still
  // show the whole repeat.)
  const double loop = 0.8 * 32766.0 / (32766.0 + 8.0);
  EXPECT_NEAR(left[32766] + left[32767], 0.5 * wet, 1e-6);
  EXPECT_GT(left[32766], 0.34f);
  // Fed back one sample after it was read, the repeat comes round every 32767 samples.
  const int second = 32766 + 32767;
  EXPECT_NEAR(left[second] + left[second + 1] + left[second + 2], 0.5 * wet * loop, 1e-6);
  EXPECT_GT(left[second], 0.27f);
  for (int i = 1; i < second + 100; ++i) {
    const bool repeat = (i >= 32766 && i <= 32767) || (i >= second && i <= second + 2);
    if (!repeat) {
      ASSERT_LT(std::fabs(left[i]), 1e-6) << i;
    }
  }
}

TEST_F(ChainDelays, DelayGlidesOnSmallChangesAndJumpsOnLargeOnes) {
  ASSERT_EQ(set(50, 1), 0);
  std::vector<float> left(1, 0.0f), right(1, 0.0f);
  fxtest::run(left, right);  // the first sample settles the delay of Init at 0
  ASSERT_EQ(set(1801, 200), 0);  // 204.4 samples: less than 500 away, so it glides
  fxtest::run(left, right);
  EXPECT_NEAR(fx::chain().comb[0].delay(), 0.0002 * 0.2f * 1022, 1e-6);
  ASSERT_EQ(set(1801, 1000), 0);  // 1022: now 500 or more away, so it jumps
  fxtest::run(left, right);
  EXPECT_EQ(fx::chain().comb[0].delay(), 1022.0f);
  EXPECT_EQ(fx::chain().comb[1].delay(), 1022.0f);
}

// The widener's matrix, computed here in double: mid (L + R) k_mid plus or minus k_side times the side
// signal of 44 frames before.
TEST(Stereowide, OutputsFollowTheMidSideMatrix) {
  std::mt19937 random(9);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  for (int amount : {0, 250, 1000}) {
    SCOPED_TRACE(amount);
    fx::cStereowide widener;
    std::vector<float> left(300), right(300);
    for (size_t i = 0; i < left.size(); ++i) {
      left[i] = level(random);
      right[i] = level(random);
    }
    auto inLeft = left, inRight = right;
    widener.process(left.data(), right.data(), 300, amount);
    const double side = amount * 0.0015, mid = (1.0 - amount * 0.0002) * 0.5;
    for (int i = 0; i < 300; ++i) {
      const double pastSide = i >= 44 ? inLeft[i - 44] - inRight[i - 44] : 0.0;
      EXPECT_NEAR(left[i], (inLeft[i] + inRight[i]) * mid + side * pastSide, 2e-6);
      EXPECT_NEAR(right[i], (inLeft[i] + inRight[i]) * mid - side * pastSide, 2e-6);
    }
  }
}

TEST(Stereowide, EdgeCasesOfTheAmount) {
  fx::cStereowide widener;
  std::vector<float> left{0.8f, 0.4f}, right{0.0f, 0.0f};
  widener.process(left.data(), right.data(), 2, 0);  // a left-only signal: half of it on both sides
  EXPECT_EQ(left, (std::vector<float>{0.4f, 0.2f}));
  EXPECT_EQ(right, (std::vector<float>{0.4f, 0.2f}));

  std::vector<float> monoLeft(100, 0.5f), monoRight(100, 0.5f);  // mono: no side, 2 k_mid
  widener.reset();
  widener.process(monoLeft.data(), monoRight.data(), 100, 1000);
  for (int i = 0; i < 100; ++i) {
    EXPECT_FLOAT_EQ(monoLeft[i], 0.4f);
    EXPECT_FLOAT_EQ(monoRight[i], 0.4f);
  }
}

}  // namespace
