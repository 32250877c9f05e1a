#include "sv_f_02/equaliser.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "sv_f_02/fx_test_support.h"

namespace {

using fx::BandRole;
using fx::Equaliser;

std::array<float, 3> numerator(const fx::BiquadCoefficients& c) { return {c.b0, c.b1, c.b2}; }
std::array<float, 3> denominator(const fx::BiquadCoefficients& c) { return {c.a0, c.a1, c.a2}; }

struct ResponseCase {
  const char* what;
  int bandCount;
  int band;
  float gain;
  double probeHz;       // where the design's intent is easy to state
  double expectedDb;    // its gain there
  double toleranceDb;
};

// The impulse response of a band, measured by a DFT, against the analytic response of its coefficients;
// and the coefficients against what the band is meant to do.
TEST(Equaliser, BandResponsesMatchTheirCoefficientsAndIntent) {
  const ResponseCase cases[] = {
      {"low shelf +12 dB at 60 Hz", 10, 0, 1.0f, 5.0, 12.0, 0.2},
      {"low shelf, far above its corner", 10, 0, 1.0f, 8000.0, 0.0, 0.1},
      {"peak -18 dB at 1100 Hz, Q 4", 10, 5, 0.0f, 1100.0, -18.0, 0.01},
      {"peak, an octave away", 10, 5, 0.0f, 4400.0, -1.0, 1.0},
      {"high shelf -12 dB at 12 kHz", 10, 9, 0.0f, 21000.0, -12.0, 0.6},
      {"a single band is a high shelf", 1, 0, 1.0f, 3000.0, 12.0, 0.2},
  };
  for (const ResponseCase& c : cases) {
    SCOPED_TRACE(c.what);
    Equaliser eq;
    eq.setBandCount(c.bandCount);
    eq.computeAll();
    eq.setGain(c.band, c.gain);
    std::vector<float> left = fxtest::impulse(1 << 15), right = fxtest::impulse(1 << 15);
    eq.process(left.data(), right.data(), static_cast<int>(left.size()));
    EXPECT_EQ(left, right);
    const fx::BiquadCoefficients& k = eq.coefficients(c.band);
    // Float recursions round audibly only far below the lowest band, so the DFT is compared from 60 Hz.
    for (double hz : {60.0, 300.0, 1100.0, 5000.0, 15000.0, std::max(60.0, c.probeHz)})
      EXPECT_NEAR(fxtest::magnitudeAt(left, hz), fxtest::responseAt(numerator(k), denominator(k), hz),
                  1e-3 * fxtest::responseAt(numerator(k), denominator(k), hz))
          << hz << " Hz";
    EXPECT_NEAR(fxtest::dB(fxtest::responseAt(numerator(k), denominator(k), c.probeHz)), c.expectedDb,
                c.toleranceDb);
  }
}

// The vector pipeline gives exactly the samples and states of running the bands one after the other,
// whatever the number of bands and however short the blocks.
TEST(Equaliser, VectorPathMatchesThePlainOne) {
  std::mt19937 random(4);
  std::uniform_real_distribution<float> level(-0.8f, 0.8f), gain(0.0f, 1.0f);
  for (int bands : {1, 3, 4, 7, 10, 30}) {
    for (int block : {1, 2, 3, 5, 64, 1000}) {
      SCOPED_TRACE(::testing::Message() << bands << " bands, blocks of " << block);
      Equaliser vector, plain;
      for (Equaliser* eq : {&vector, &plain}) {
        eq->setBandCount(bands);
        for (int i = 0; i < bands; ++i) eq->setFrequency(i, 40.0f + 600.0f * i);
      }
      std::vector<int> active;
      for (int i = 0; i < bands; ++i) {
        const float g = i % 4 == 2 ? 0.5f : gain(random);  // some neutral bands in between
        vector.setGain(i, g);
        plain.setGain(i, g);
        if (g != 0.5f) active.push_back(i);
      }
      for (int round = 0; round < 3; ++round) {
        std::vector<float> left(block), right(block);
        for (int i = 0; i < block; ++i) left[i] = level(random), right[i] = level(random);
        auto plainLeft = left, plainRight = right;
        vector.process(left.data(), right.data(), block);
        plain.processScalar(active.data(), static_cast<int>(active.size()), plainLeft.data(), plainRight.data(),
                            block);
        ASSERT_EQ(left, plainLeft);
        ASSERT_EQ(right, plainRight);
      }
    }
  }
}

TEST(Equaliser, NeutralBandsAreSkippedAndKeepTheirState) {
  Equaliser eq;
  eq.computeAll();
  std::vector<float> left{0.3f, -0.2f, 0.1f, 0.7f}, right{-0.5f, 0.25f, 0.0f, 1.0f};
  auto inLeft = left, inRight = right;
  eq.process(left.data(), right.data(), 4);
  EXPECT_EQ(left, inLeft);
  EXPECT_EQ(right, inRight);
}

TEST(Equaliser, RolesFollowTheBandCountAtTheMomentOfComputing) {
  Equaliser eq;
  eq.computeAll();
  const fx::BiquadCoefficients peak7 = eq.coefficients(7);
  const auto same = [](const fx::BiquadCoefficients& a, const fx::BiquadCoefficients& b) {
    return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
  };
  EXPECT_TRUE(same(peak7, fx::designBand(BandRole::Peak, 4500, 0.25f, 0.5f)));

  eq.setBandCount(8);  // stored only: band 7 stays a peak
  EXPECT_TRUE(same(eq.coefficients(7), peak7));
  eq.setWidth(7, 0.5f);  // now computed, as the last band
  EXPECT_TRUE(same(eq.coefficients(7), fx::designBand(BandRole::HighShelf, 4500, 0.5f, 0.5f)));

  // Beyond the count: stored, not computed, not processed.
  const fx::BiquadCoefficients before = eq.coefficients(15);
  eq.setGain(15, 1.0f);
  EXPECT_EQ(eq.gain(15), 1.0f);
  EXPECT_TRUE(same(eq.coefficients(15), before));
  std::vector<float> left{0.5f, 0.25f}, right{0.5f, 0.25f};
  eq.process(left.data(), right.data(), 2);
  EXPECT_EQ(left, (std::vector<float>{0.5f, 0.25f}));
}

TEST(Equaliser, FrequenciesWithoutAUsableDesignPassTheSignal) {
  for (float hz : {22050.0f, 30000.0f, 0.0f}) {
    fx::BiquadCoefficients c = fx::designBand(BandRole::Peak, hz, 0.25f, 1.0f);
    EXPECT_EQ(c.b0, 1.0f);
    EXPECT_EQ(c.b1, 0.0f);
    EXPECT_EQ(c.a1, 0.0f);
  }
}

}  // namespace
