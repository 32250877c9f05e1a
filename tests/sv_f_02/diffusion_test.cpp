#include "sv_f_02/diffusion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "sv_f_02/random_source.h"

namespace {

fx::WallRecord wallAt(double x, double r) { return {1, 0, 0, x, r}; }

TEST(LineDistances, NeighboursCloserThanAnyOthersMerge) {
  // Parallel walls at 0, 1, 3, 7: pair distances 1, 2, 3, 4, 6, 7.
  auto list = fx::lineDistances({wallAt(0, 1.0), wallAt(1, 0.25), wallAt(3, 0.64), wallAt(7, 0.81)}, 4);
  ASSERT_EQ(list.size(), 4u);
  const double distances[] = {1.5, 3.5, 6, 7};
  const double gains[] = {std::sqrt(0.5 * 0.4), std::sqrt(0.8 * 0.72), 0.45, 0.9};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(list[i].distance, distances[i], 1e-12) << i;
    EXPECT_NEAR(list[i].gain, gains[i], 1e-12) << i;
  }
}

TEST(LineDistances, BoxesAndShortLists) {
  std::vector<fx::WallRecord> box = {{1, 0, 0, 2, 0.9},  {-1, 0, 0, 2, 0.9}, {0, 1, 0, 3, 0.9},
                                     {0, -1, 0, 3, 0.9}, {0, 0, 1, 1, 0.9},  {0, 0, -1, 1, 0.9}};
  auto eight = fx::lineDistances(box, 8);  // 15 pairs, 7 merges
  ASSERT_EQ(eight.size(), 8u);
  for (size_t i = 1; i < eight.size(); ++i) EXPECT_LE(eight[i - 1].distance, eight[i].distance);

  // Three walls give three pairs; a fourth line doubles the shortest.
  auto four = fx::lineDistances({{1, 0, 0, 1, 0.81}, {-1, 0, 0, 1, 0.81}, {0, 1, 0, 3, 0.64}}, 4);
  ASSERT_EQ(four.size(), 4u);
  EXPECT_NEAR(four[0].distance, 2.0, 1e-12);
  EXPECT_NEAR(four[1].distance, std::sqrt(10.0), 1e-12);
  EXPECT_NEAR(four[3].distance, 4.0, 1e-12);
  EXPECT_NEAR(four[3].gain, 0.81 * 0.81, 1e-12);

  EXPECT_EQ(fx::lineDistances({}, 4).size(), 4u);  // no pairs at all: silent lines, no endless doubling
}

TEST(SnapToCandidates, ClosestFreeCandidateEarlierWinsTies) {
  const struct {
    std::vector<int> delays;
    std::set<int> candidates;
    std::vector<int> expected;
  } cases[] = {
      {{100, 100}, {97, 101, 103}, {101, 97}},  // 97 and 103 are equally close: the first one scanned
      {{50, 400}, {53, 59, 397}, {53, 397}},
      {{10, 10, 10}, {11}, {11, 0, 0}},  // nothing left: 0
      {{5, 6}, {}, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(fx::snapToCandidates(c.delays, c.candidates), c.expected);
}

// The network worked sample by sample straight from its definition, with its own copy of the random
// source, against the library's.
class ReferenceNetwork {
 public:
  ReferenceNetwork(const fx::cDiffusion& net, fx::RandomSource random) : random_(random), g_(net.lineCount()) {
    b_ = net.dampingB();
    a_ = net.dampingA();
    m_ = net.matrix();
    for (int j = 0; j < g_; ++j) {
      delay_.push_back(net.delay(j));
      decay_.push_back(net.decayGain(j));
      left_.push_back(net.leftWeight(j));
      right_.push_back(net.rightWeight(j));
      const int length = powerOfTwo(std::max<int>(net.delay(j), static_cast<int>(b_.size())));
      buffers_.emplace_back(length, 0.0f);
      history_.emplace_back(powerOfTwo(static_cast<int>(b_.size())), 0.0f);
    }
    for (int p = 0; p < g_ / 2; ++p) {
      cos_.push_back(net.rotationCos(p));
      sin_.push_back(net.rotationSin(p));
    }
    write_.assign(g_, 0);
    hw_ = 0;
    w_.resize(m_.size());
    for (int i = 0; i < g_; ++i)
      for (int k = 0; k < g_; ++k) w_[i * g_ + k] = m_[i * g_ + k] * decay_[i];
    nextM_ = m_;
    nextW_ = w_;
  }

  void step(float x, float& outLeft, float& outRight) {
    if (pause_ > 0) {
      --pause_;
    } else {
      float entry = 0.0f;
      for (int j = r_ & ~1; j <= (r_ | 1); ++j) {
        float inner = 0.0f;
        for (int i = c_ & ~1; i <= (c_ | 1); ++i) inner += m_[j * g_ + i] * rot(i, c_);
        entry += rot(j, r_) * inner;
      }
      nextM_[r_ * g_ + c_] = entry;
      nextW_[r_ * g_ + c_] = entry * decay_[r_];
      if (++c_ == g_) {
        c_ = 0;
        if (++r_ == g_) {
          r_ = 0;
          std::swap(m_, nextM_);
          std::swap(w_, nextW_);
          pause_ = static_cast<int>(std::floor(random_.next() * 1000.0 / 32767 + 0.5));
        }
      }
    }
    std::vector<float> o(g_);
    const int taps = static_cast<int>(b_.size());
    for (int j = 0; j < g_; ++j) {
      const int mask = static_cast<int>(buffers_[j].size()) - 1, hmask = static_cast<int>(history_[j].size()) - 1;
      float ff = 0.0f, fb = 0.0f;
      for (int k = 0; k < taps; ++k) ff += b_[k] * buffers_[j][(write_[j] - delay_[j] - k) & mask];
      for (int k = 1; k < taps; ++k) fb += a_[k] * history_[j][(hw_ - k) & hmask];
      o[j] = (ff - fb) * (1.0f / a_[0]);
      history_[j][hw_] = o[j];
    }
    hw_ = (hw_ + 1) & (static_cast<int>(history_[0].size()) - 1);
    outLeft = outRight = 0.0f;
    for (int j = 0; j < g_; ++j) {
      float mixed = 0.0f;
      for (int k = 0; k < g_; ++k) mixed += w_[j * g_ + k] * o[k];
      const int mask = static_cast<int>(buffers_[j].size()) - 1;
      buffers_[j][write_[j]] = 1.0f * x + mixed;
      write_[j] = (write_[j] + 1) & mask;
      outLeft += left_[j] * o[j];
      outRight += right_[j] * o[j];
    }
  }

 private:
  static int powerOfTwo(int n) {
    int p = 1;
    while (p < n) p <<= 1;
    return p;
  }
  float rot(int row, int column) const {
    if (row == column) return cos_[row / 2];
    return row < column ? -sin_[row / 2] : sin_[row / 2];
  }

  fx::RandomSource random_;
  int g_;
  std::vector<float> b_, a_, m_, w_, nextM_, nextW_, decay_, left_, right_, cos_, sin_;
  std::vector<int> delay_, write_;
  std::vector<std::vector<float>> buffers_, history_;
  int hw_ = 0, r_ = 0, c_ = 0, pause_ = 0;
};

fx::ReverbTables smallTables(const std::string& candidates) {
  std::istringstream in(candidates +
                        " 2 2 0.6 -0.8 0.8 0.6 4 0.5 0.5 0.5 0.5 0.5 -0.5 0.5 -0.5 0.5 0.5 -0.5 -0.5 "
                        "0.5 -0.5 -0.5 0.5 box 6 1 0 0 0.3 0.9 -1 0 0 0.3 0.9 0 1 0 0.4 0.8 0 -1 0 0.4 0.8 "
                        "0 0 1 0.15 0.7 0 0 -1 0.15 0.7");
  return *fx::readReverbTables(in);
}

TEST(Diffusion, MatchesTheNetworkWorkedSampleBySample) {
  const struct {
    const char* what;
    std::string candidates;
    int selector;
    int dampingType;
    int blocks;
  } cases[] = {
      {"prime candidates, one-pole damping", "6 53 211 307 401 503 601", 1, 1, 3},
      {"second-order damping", "6 53 211 307 401 503 601", 1, 2, 3},
      {"two lines turn their matrix every few samples", "2 64 128", 0, 1, 3},
      {"no candidates: every line reads the slot it is about to overwrite", "0", 1, 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fx::ReverbTables tables = smallTables(c.candidates);
    fx::DiffusionSettings s{0.997, c.selector, 10.0, 0.8, c.dampingType, 5000.0};
    fx::cDiffusion net(tables.rooms[0], s, tables);
    ReferenceNetwork reference(net, fx::libraryRandom());
    std::mt19937 random(11);
    std::uniform_real_distribution<float> level(-0.5f, 0.5f);
    for (int block = 0; block < c.blocks; ++block) {
      const int n = block == 0 ? 700 : 3001;
      std::vector<float> mono(n), right(n);
      for (float& v : mono) v = level(random);
      std::vector<float> input = mono;
      net.process(mono.data(), right.data(), n);
      for (int i = 0; i < n; ++i) {
        float l, r;
        reference.step(input[i], l, r);
        ASSERT_EQ(mono[i], l) << block << ":" << i;
        ASSERT_EQ(right[i], r) << block << ":" << i;
      }
    }
  }
}

TEST(Diffusion, AfterResetSilentButTheMatrixTurnsOn) {
  fx::ReverbTables tables = smallTables("6 53 211 307 401 503 601");
  fx::cDiffusion net(tables.rooms[0], {1.0, 1, 10.0, 0.9, 1, 6000.0}, tables);
  std::vector<float> mono(5000, 0.25f), right(5000);
  net.process(mono.data(), right.data(), 5000);
  const std::vector<float> turned = net.matrix();
  net.reset();
  std::vector<float> silence(3000, 0.0f);
  net.process(silence.data(), right.data(), 3000);
  for (float v : silence) ASSERT_EQ(v, 0.0f);
  EXPECT_NE(net.matrix(), turned);  // it kept turning
  // The turned matrix is still orthogonal: rows of unit length.
  const int g = net.lineCount();
  for (int r = 0; r < g; ++r) {
    double norm = 0;
    for (int k = 0; k < g; ++k) norm += net.matrix()[r * g + k] * net.matrix()[r * g + k];
    EXPECT_NEAR(norm, 1.0, 1e-4);
  }
}

TEST(Diffusion, DelaysAndGainsFollowTheRoom) {
  fx::ReverbTables tables = smallTables("0");
  // Room 0.6 x 0.8 x 0.3 units at 10 m per unit; four lines from the 15 wall pairs.
  fx::cDiffusion net(tables.rooms[0], {0.997, 1, 10.0, 0.8, 1, 5000.0}, tables);
  ASSERT_EQ(net.lineCount(), 4);
  auto entries = fx::lineDistances(tables.rooms[0].walls, 4);
  for (int m = 0; m < 4; ++m) {
    const double length = entries[m].distance * 10.0;
    EXPECT_FLOAT_EQ(net.decayGain(m), static_cast<float>(std::pow(0.997, length) * entries[m].gain * 0.8));
    EXPECT_EQ(net.delay(m), 0);  // no candidates
    EXPECT_NEAR(net.leftWeight(m) * net.rightWeight(m), 1.0, 1e-6);
    EXPECT_GE(net.leftWeight(m), 0.5f);
    EXPECT_LE(net.leftWeight(m), 1.5f);
  }
}

}  // namespace
