#include "sv_f_02/drive_stages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "sv_f_02/filter_sweep.h"
#include "sv_f_02/four_pole.h"
#include "sv_f_02/fx_test_support.h"

namespace {

TEST(SoftClip, ValuesAndBounds) {
  fx::cSoftClip clip;
  const struct {
    float in;
    double out;
  } cases[] = {{0.0f, 0.0},       {0.5f, 0.5},       {-0.5f, -0.5},
               {0.25f, 0.25},     {1.0f, 1 - 0.5 * std::exp(-1.0)}, {-3.0f, 0.5 * std::exp(-5.0) - 1},
               {2.0f, 1 - 0.5 * std::exp(-3.0)}};
  for (const auto& c : cases) EXPECT_NEAR(clip.clip(c.in), c.out, 1e-6) << c.in;
  EXPECT_NEAR(clip.clip(1.0f), 0.8161, 1e-4);
  EXPECT_NEAR(clip.clip(-3.0f), -0.9966, 1e-4);
  // Strictly inside (-1, +1) however loud, and silence for what is not a number.
  for (float loud : {20.0f, 1e30f, std::numeric_limits<float>::infinity()}) {
    EXPECT_LT(clip.clip(loud), 1.0f);
    EXPECT_GT(clip.clip(-loud), -1.0f);
  }
  EXPECT_EQ(clip.clip(std::numeric_limits<float>::quiet_NaN()), 0.0f);
  // Continuous and rising through the joins at +-0.5.
  float previous = clip.clip(-4.0f);
  for (float x = -4.0f; x <= 4.0f; x += 0.001f) {
    const float y = clip.clip(x);
    ASSERT_GE(y, previous) << x;
    ASSERT_LT(y - previous, 0.0011f) << x;
    previous = y;
  }
}

TEST(ToneShaper, FullControlsSaturateWithoutSmoothing) {
  fx::cToneShaper shaper;
  shaper.setSmoothing(1.0f);
  shaper.setDrive(1.0f);
  EXPECT_FLOAT_EQ(shaper.smoothing(), 1.0f);
  EXPECT_FLOAT_EQ(shaper.drive(), 14.1f);
  std::vector<float> x{0.0f, 0.05f, -0.1f, 0.5f, -0.9f};
  auto in = x;
  shaper.process(x.data(), static_cast<int>(x.size()));
  for (size_t i = 0; i < x.size(); ++i) {
    const double t = std::clamp(14.1 * in[i], -1.570796, 1.570796);
    EXPECT_NEAR(x[i], std::sin(t) / std::sqrt(14.1), 1e-6);
  }
}

// Both channels side by side in one loop come out exactly as each channel alone.
TEST(ToneShaper, ChannelsSideBySideMatchChannelsAlone) {
  std::mt19937 random(6);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  for (auto [smoothing, drive] : {std::pair{0.0f, 0.0f}, {0.5f, 0.06f}, {1.0f, 1.0f}, {0.3f, 0.5f}}) {
    fx::cToneShaper pairLeft, pairRight, aloneLeft, aloneRight;
    for (fx::cToneShaper* t : {&pairLeft, &aloneLeft}) t->setSmoothing(smoothing), t->setDrive(drive);
    for (fx::cToneShaper* t : {&pairRight, &aloneRight}) t->setSmoothing(1.0f - smoothing), t->setDrive(drive / 2);
    for (int block : {1, 500}) {
      std::vector<float> left(block), right(block);
      for (int i = 0; i < block; ++i) left[i] = level(random), right[i] = level(random);
      auto inLeft = left, inRight = right;
      fx::cToneShaper::processPair(pairLeft, left.data(), pairRight, right.data(), block);
      aloneLeft.process(inLeft.data(), block);
      aloneRight.process(inRight.data(), block);
      ASSERT_EQ(left, inLeft) << smoothing << " " << drive;
      ASSERT_EQ(right, inRight) << smoothing << " " << drive;
    }
  }
}

TEST(ToneShaper, SmoothsWithTheControlCoefficient) {
  fx::cToneShaper shaper;
  shaper.setSmoothing(0.0f);  // a = 0.01
  shaper.setDrive(0.0f);      // y = 0.1: below 1, so sin(t) / y
  std::vector<float> x(3, 1.0f);
  shaper.process(x.data(), 3);
  double z = 0;
  for (int i = 0; i < 3; ++i) {
    z = 0.01 * 1.0 + 0.99 * z;
    EXPECT_NEAR(x[i], std::sin(z * 0.1) / 0.1, 1e-6);
  }
}

// The four-pole design against its analogue prototype, a fourth-order Butterworth low-pass: impulse
// invariance follows it closely well below half the sample rate.
TEST(FourPole, FollowsTheButterworthPrototype) {
  // (Much lower cutoffs put the float denominator's sum at the level of its rounding.)
  for (double cutoff : {1000.0, 2500.0, 5000.0}) {
    SCOPED_TRACE(cutoff);
    fx::FourPoleCoefficients c = fx::designFourPole(cutoff);
    EXPECT_EQ(c.b[0], 0.0f);
    EXPECT_NEAR(c.b[1], 0.0f, 1e-9);
    EXPECT_EQ(c.a[0], 1.0f);
    for (double ratio : {0.1, 0.5, 1.0, 2.0}) {
      const double butterworth = 1.0 / std::sqrt(1.0 + std::pow(ratio, 8));
      EXPECT_NEAR(fxtest::dB(fxtest::responseAt(c.b, c.a, cutoff * ratio)), fxtest::dB(butterworth), 0.1)
          << ratio;
    }
  }
}

// The sweep runs its two filters side by side; each must come out exactly as when run alone, also across
// blocks and a change of coefficients that keeps the histories.
TEST(FourPole, FilterPairsMatchFiltersAlone) {
  std::mt19937 random(12);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  fx::cFilterLine pairLeft, pairRight, aloneLeft, aloneRight;
  for (double cutoff : {800.0, 3000.0}) {
    fx::FourPoleCoefficients left = fx::designFourPole(cutoff, true), right = fx::designFourPole(cutoff * 1.5, true);
    pairLeft.setCoefficients(left.b.data(), left.a.data(), 5);
    aloneLeft.setCoefficients(left.b.data(), left.a.data(), 5);
    pairRight.setCoefficients(right.b.data(), right.a.data(), 5);
    aloneRight.setCoefficients(right.b.data(), right.a.data(), 5);
    for (int block : {3, 1000}) {
      std::vector<float> inLeft(block), inRight(block), outLeft(block), outRight(block);
      for (int i = 0; i < block; ++i) inLeft[i] = level(random), inRight[i] = level(random);
      fx::cFilterLine::processPair({&pairLeft, inLeft.data(), outLeft.data(), 0, 1.0, false},
                                   {&pairRight, inRight.data(), outRight.data(), 0, 1.0, false}, block);
      aloneLeft.process(inLeft.data(), inLeft.data(), block);
      aloneRight.process(inRight.data(), inRight.data(), block);
      ASSERT_EQ(outLeft, inLeft);
      ASSERT_EQ(outRight, inRight);
    }
  }
}

TEST(FourPole, ResonanceRaisesAPeakNearTheCutoff) {
  fx::FourPoleCoefficients plain = fx::designFourPole(1000.0);
  fx::FourPoleCoefficients resonant = fx::designFourPole(1000.0, true, 1.0);
  EXPECT_GT(fxtest::responseAt(resonant.b, resonant.a, 1000.0), 3 * fxtest::responseAt(plain.b, plain.a, 1000.0));
  fx::FourPoleCoefficients silent = fx::designFourPole(0.0, true, 1.0);
  for (float b : silent.b) EXPECT_EQ(b, 0.0f);
}

TEST(ResoFilterBank, AtRestItPassesTheInputWhileTheCutoffGlides) {
  fx::cResoFilterBank bank;
  bank.setUp(fx::cResoFilterBank::buildTable());
  for (auto set : {&fx::cResoFilterBank::setCutoff, &fx::cResoFilterBank::setResonance,
                   &fx::cResoFilterBank::setDrive, &fx::cResoFilterBank::setWet})
    (bank.*set)(0.0f);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  std::vector<float> x(5000);
  for (float& v : x) v = level(random);
  auto in = x;
  bank.process(x.data(), 5000);
  EXPECT_EQ(x, in);
  EXPECT_LT(bank.position(), 16383.0f * 0.01f);
  EXPECT_EQ(bank.drive(), 0.2f);
}

// Both channels run side by side in one loop; each must come out exactly as when run alone, whether the
// drive saturates above 1, below 1 or not at all, and while cutoff and wet share glide.
TEST(ResoFilterBank, ChannelsSideBySideMatchChannelsAlone) {
  const auto table = fx::cResoFilterBank::buildTable();
  std::mt19937 random(8);
  std::uniform_real_distribution<float> level(-1.0f, 1.0f);
  for (float drive : {0.0f, 0.02f, 0.3f, 1.0f}) {
    SCOPED_TRACE(drive);
    fx::cResoFilterBank pairLeft, pairRight, aloneLeft, aloneRight;
    for (fx::cResoFilterBank* bank : {&pairLeft, &pairRight, &aloneLeft, &aloneRight}) {
      bank->setUp(table);
      bank->setCutoff(bank == &pairLeft || bank == &aloneLeft ? 0.4f : 0.6f);  // rows apart
      bank->setResonance(0.8f);
      bank->setDrive(drive);
      bank->setWet(0.7f);
    }
    for (int block : {1, 700, 3}) {
      std::vector<float> left(block), right(block);
      for (int i = 0; i < block; ++i) left[i] = level(random), right[i] = level(random);
      auto inLeft = left, inRight = right;
      fx::cResoFilterBank::processPair(pairLeft, left.data(), pairRight, right.data(), block);
      aloneLeft.process(inLeft.data(), block);
      aloneRight.process(inRight.data(), block);
      ASSERT_EQ(left, inLeft);
      ASSERT_EQ(right, inRight);
    }
    EXPECT_EQ(pairLeft.position(), aloneLeft.position());
    EXPECT_EQ(pairRight.drive(), aloneRight.drive());
  }
}

TEST(ResoFilterBank, FullyWetItLowPasses) {
  fx::cResoFilterBank bank;
  bank.setUp(fx::cResoFilterBank::buildTable());
  // Row 5439 of the table: a cutoff of about 1000 Hz.
  bank.setCutoff(5439.0f / 16383.0f);
  bank.setResonance(0.0f);
  bank.setDrive(0.0f);
  bank.setWet(1.0f);
  const int n = 44100;
  std::vector<float> low(n), high(n);
  for (int i = 0; i < n; ++i) {
    low[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 300 * i / 44100.0));
    high[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 15000 * i / 44100.0));
  }
  bank.process(low.data(), n);
  fx::cResoFilterBank other;
  other.setUp(fx::cResoFilterBank::buildTable());
  other.setCutoff(5439.0f / 16383.0f);
  other.setWet(1.0f);
  other.process(high.data(), n);
  auto rmsTail = [](const std::vector<float>& v) {
    double sum = 0;
    for (size_t i = v.size() / 2; i < v.size(); ++i) sum += v[i] * v[i];
    return std::sqrt(sum / (v.size() / 2));
  };
  EXPECT_NEAR(rmsTail(low), 0.5 / std::sqrt(2.0), 0.005);
  EXPECT_LT(rmsTail(high), 1e-3);
}

TEST(FilterSweep, FrozenBeforeAnyMovingBlockIsSilent) {
  fx::SweepSettings settings;
  settings.moving = 0.0f;
  fx::FilterSweep sweep;
  sweep.build();
  std::vector<float> left(2000, 0.5f), right(2000, -0.5f), sl(2000), sr(2000);
  sweep.process(settings, left.data(), right.data(), sl.data(), sr.data(), 2000);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(left[i], 0.0f);
}

// The cutoff of the last chunk, computed here from the cosine: the block is designed in chunks of 1000.
TEST(FilterSweep, MovesOnACosineChunkByChunk) {
  fx::SweepSettings settings;
  settings.lowest = 500.0f;
  settings.highest = 8000.0f;
  settings.period = 0.1f;
  fx::FilterSweep sweep;
  sweep.build();
  std::vector<float> left(2500, 0.1f), right(2500, 0.1f), sl(2500), sr(2500);
  sweep.process(settings, left.data(), right.data(), sl.data(), sr.data(), 2500);
  auto cutoffAt = [&](int samples) {
    const double phase = samples * std::numbers::pi / (22050.0 * settings.period);
    return 500.0 * std::exp((std::cos(phase) + 1.0) * 0.5 * std::log(16.0));
  };
  EXPECT_NEAR(sweep.cutoff(), cutoffAt(2000), 1e-6 * cutoffAt(2000));
  EXPECT_EQ(sweep.frozenCutoff(), static_cast<int>(cutoffAt(2000)));
  for (int i = 0; i < 2500; ++i) ASSERT_FLOAT_EQ(left[i], static_cast<float>(0.8 * sl[i]));

  settings.highest = settings.lowest;  // lo = hi: the cutoff stays at lo
  sweep.build();
  sweep.process(settings, left.data(), right.data(), sl.data(), sr.data(), 2500);
  EXPECT_DOUBLE_EQ(sweep.cutoff(), 500.0);
}

}  // namespace
