#include "sv_f_02/chain.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "sv_f_02/fx_test_support.h"

namespace {

using fxtest::set;

class Chain : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(fx::initChain(512), 0); }
  void TearDown() override { fx::closeChain(); }
  fxtest::ConstantsFolder folder_;
};

// The parameter table: what each id accepts, as one table of (id, value, result).
TEST_F(Chain, ParameterTableAcceptsAndRejects) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    int id;
    double value;
    int result;
  } cases[] = {
      // switches: exactly 0 or 1; -0 counts as 0
      {10, 1.0, 0}, {10, 0.0, 0}, {10, -0.0, 0}, {10, 0.5, -1}, {10, 2.0, -1}, {10, nan, -1},
      {20, 1.0, 0}, {30, 1.0, 0}, {40, 1.0, 0}, {50, 1.0, 0}, {60, 1.0, 0}, {70, 1.0, 0}, {80, 1.0, 0},
      {80, -1.0, -1},
      // band count 0 < v <= 30
      {1000, 0.5, 0}, {1000, 30.0, 0}, {1000, 30.5, -1}, {1000, 0.0, -1}, {1000, 10.0, 0},
      // bands: frequency > 0, width in (0, 1], gain in [0, 1]; bands 0 ... 29 only
      {1100, 100.0, 0}, {1129, 5.0, 0}, {1130, 100.0, -1}, {1105, 0.0, -1}, {1105, -3.0, -1},
      {1200, 1.0, 0}, {1229, 0.01, 0}, {1200, 0.0, -1}, {1200, 1.5, -1},
      {1300, 0.0, 0}, {1300, 1.0, 0}, {1300, 1.01, -1}, {1300, -0.1, -1}, {1300, nan, -1},
      // sweep: 1400 a switch, the others > 0
      {1400, 0.0, 0}, {1400, 1.0, 0}, {1400, 0.3, -1}, {1401, 100.0, 0}, {1402, 0.0, -1}, {1403, 1e300, 0},
      {1404, 7.0, 0}, {1405, 1.0, -1},
      // widener 0 ... 1000, preset 0 ... 4
      {1500, 1000.0, 0}, {1500, 1000.5, -1}, {1500, -1.0, -1}, {1500, 0.0, 0},
      {1600, 3.7, 0}, {1600, 4.0, 0}, {1600, 4.5, -1}, {1600, -1.0, -1},
      // controls take anything
      {1700, -50.0, 0}, {1701, 1e9, 0}, {1702, nan, 0}, {1703, 500.0, 0}, {1800, 1.0, 0}, {1801, 2.0, 0},
      {1900, 3.0, 0}, {1901, 4.0, 0}, {1902, 5.0, 0}, {2000, 6.0, 0}, {2001, 7.0, 0},
      // unknown ids
      {0, 0.0, -1}, {11, 0.0, -1}, {1704, 0.0, -1}, {1802, 0.0, -1}, {2002, 0.0, -1}, {-10, 0.0, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(set(c.id, c.value), c.result) << c.id << " = " << c.value;
}

TEST_F(Chain, AcceptedValuesAreStoredAsTheTableSays) {
  fx::Chain& c = fx::chain();
  ASSERT_EQ(set(1000, 0.5), 0);
  EXPECT_EQ(c.equaliser.bandCount(), 0);
  ASSERT_EQ(set(1000, 12.9), 0);
  EXPECT_EQ(c.equaliser.bandCount(), 12);
  ASSERT_EQ(set(1500, 999.9), 0);
  EXPECT_EQ(c.widenerAmount, 999);
  ASSERT_EQ(set(1403, 0.25), 0);
  EXPECT_EQ(c.sweepSettings.period, 0.25f);
  ASSERT_EQ(set(1403, -1), -1);
  EXPECT_EQ(c.sweepSettings.period, 0.25f);  // rejected: nothing changes
  ASSERT_EQ(set(2001, 2000.0), 0);          // clamped to c = 1
  EXPECT_FLOAT_EQ(c.tone[0].drive(), 14.1f);
  EXPECT_FLOAT_EQ(c.tone[1].drive(), 14.1f);
  ASSERT_EQ(set(2001, -5.0), 0);  // clamped to c = 0
  EXPECT_FLOAT_EQ(c.tone[1].drive(), 0.1f);
  ASSERT_EQ(set(1801, 500.0), 0);
  ASSERT_EQ(set(1801, std::numeric_limits<double>::quiet_NaN()), 0);  // counts as 0
  std::vector<float> left(1, 0.0f), right(1, 0.0f);
  ASSERT_EQ(set(50, 1), 0);
  fxtest::run(left, right);
  EXPECT_NEAR(c.comb[0].delay(), 0.0, 1e-6);
}

TEST_F(Chain, SettingABandToItsValueKeepsItsCoefficients) {
  fx::Chain& c = fx::chain();
  ASSERT_EQ(set(1000, 8), 0);
  const fx::BiquadCoefficients peak = c.equaliser.coefficients(7);
  ASSERT_EQ(set(1307, 0.5), 0);  // unchanged: not recomputed, so still a peak
  EXPECT_EQ(c.equaliser.coefficients(7).a1, peak.a1);
  ASSERT_EQ(set(1307, 0.75), 0);  // changed: recomputed as the high shelf it now is
  const fx::BiquadCoefficients shelf = fx::designBand(fx::BandRole::HighShelf, 4500, 0.25f, 0.75f);
  EXPECT_EQ(c.equaliser.coefficients(7).a1, shelf.a1);
}

TEST_F(Chain, EmptyBlocksAndDefaultsChangeNothing) {
  float sample = 0.25f;
  EXPECT_EQ(fx::convert(&sample, &sample, 0), 0);
  EXPECT_EQ(fx::convert(&sample, &sample, 3), 3);  // less than one sample
  EXPECT_EQ(sample, 0.25f);
  ASSERT_EQ(set(10, 1), 0);  // the equaliser with its defaults leaves the signal as it is
  std::vector<float> left{0.1f, -0.3f, 0.45f}, right{0.0f, 0.2f, -0.45f};
  auto inLeft = left, inRight = right;
  fxtest::run(left, right);
  EXPECT_EQ(left, inLeft);
  EXPECT_EQ(right, inRight);
}

TEST_F(Chain, ResetClearsTailsButNotTheShapers) {
  fx::Chain& c = fx::chain();
  for (int id : {20, 50, 60, 70, 80}) ASSERT_EQ(set(id, 1), 0);
  ASSERT_EQ(set(1900, 1000), 0);
  ASSERT_EQ(set(1901, 100), 0);
  ASSERT_EQ(set(1703, 1000), 0);
  std::vector<float> left(512, 0.3f), right(512, -0.3f);
  fxtest::run(left, right);
  const float shaper = c.tone[0].state();
  const float position = c.resonant[0].position();
  EXPECT_EQ(fx::resetChain(), 0);
  EXPECT_EQ(c.tone[0].state(), shaper);
  EXPECT_EQ(c.resonant[0].position(), position);
  // Echo and reverb tails are gone: with those two alone, silence in gives (almost) silence out.
  for (int id : {50, 70, 80}) ASSERT_EQ(set(id, 0), 0);
  std::fill(left.begin(), left.end(), 0.0f);
  std::fill(right.begin(), right.end(), 0.0f);
  fxtest::run(left, right);
  for (float v : left) ASSERT_LT(std::fabs(v), 1e-9f);
}

TEST_F(Chain, SwitchingTheReverbOffSilencesIt) {
  ASSERT_EQ(set(20, 1), 0);
  std::vector<float> left(512, 0.3f), right(512, -0.3f);
  fxtest::run(left, right);
  ASSERT_EQ(set(20, 0), 0);
  ASSERT_EQ(set(20, 1), 0);
  std::vector<float> quiet(512, 0.0f), quietRight(512, 0.0f);
  fxtest::run(quiet, quietRight);
  for (float v : quiet) ASSERT_EQ(v, 0.0f);
}

// A block longer than Init was told runs as blocks of that size, never past the scratch arrays.
TEST_F(Chain, LongBlocksRunAsPiecesOfTheInitSize) {
  std::mt19937 random(1);
  std::uniform_real_distribution<float> level(-0.4f, 0.4f);
  std::vector<float> input(1500);
  for (float& v : input) v = level(random);

  for (int id : {10, 20, 30, 40, 50, 60, 70, 80}) ASSERT_EQ(set(id, 1), 0);
  std::vector<float> left = input, right = input;
  fxtest::run(left, right);  // every stage, 1500 samples where Init said 512

  // Equaliser and widener start alike after each Init, so one long block and three short ones compare.
  auto render = [&](bool whole) {
    fx::closeChain();
    EXPECT_EQ(fx::initChain(512), 0);
    set(10, 1);
    set(30, 1);
    set(1300, 0.9);
    set(1500, 600);
    std::vector<float> l = input, r = input;
    r[7] = 0.3f;
    if (whole) {
      fxtest::run(l, r);
    } else {
      for (int start = 0; start < 1500; start += 512)
        fx::convert(l.data() + start, r.data() + start, std::min(512, 1500 - start) * 4);
    }
    return std::pair{l, r};
  };
  EXPECT_EQ(render(true), render(false));
}

// Whatever the parameters, finite input gives finite output strictly inside (-1, +1).
TEST_F(Chain, OutputStaysBoundedWhateverTheParameters) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> control(-200.0, 1200.0);
  std::uniform_real_distribution<float> loud(-4.0f, 4.0f);
  for (int round = 0; round < 6; ++round) {
    for (int id : {10, 20, 30, 40, 50, 60, 70, 80}) set(id, 1);
    for (int id : {1700, 1701, 1702, 1703, 1800, 1801, 1900, 1901, 1902, 2000, 2001}) set(id, control(random));
    set(1000, 30);
    for (int band = 0; band < 30; ++band) {
      set(1100 + band, 20.0 + 700.0 * band);
      set(1300 + band, round % 2 ? 1.0 : 0.0);
    }
    set(1401, round % 3 ? 1e-30 : 1e-300);
    set(1402, round % 3 ? 1e30 : 1e300);
    set(1403, round % 2 ? 1e-20 : 1e20);
    set(1500, 1000);
    set(1600, round % 5);
    std::vector<float> left(512), right(512);
    for (int block = 0; block < 8; ++block) {
      for (size_t i = 0; i < left.size(); ++i) {
        left[i] = loud(random);
        right[i] = loud(random);
      }
      fxtest::run(left, right);
      for (size_t i = 0; i < left.size(); ++i) {
        ASSERT_TRUE(left[i] > -1.0f && left[i] < 1.0f) << round << ":" << i << " " << left[i];
        ASSERT_TRUE(right[i] > -1.0f && right[i] < 1.0f) << round << ":" << i << " " << right[i];
      }
      ASSERT_TRUE(std::isfinite(fx::chain().sweep.cutoff())) << round;
    }
  }
  // The stages' own state stays finite too.
  EXPECT_TRUE(std::isfinite(fx::chain().echo[0].delay()));
  EXPECT_TRUE(std::isfinite(fx::chain().resonant[0].position()));
}

// After the input stops, every stage's tail dies away to silence or to the floor of its offsets, without
// passing through denormal numbers.
TEST_F(Chain, TailsDecayWithoutDenormals) {
  for (auto [id, value] : {std::pair{1300, 0.9}, {1309, 0.1}, {1800, 500.0}, {1801, 300.0}, {1900, 500.0},
                           {1901, 20.0}, {1902, 900.0}, {1703, 700.0}, {1701, 600.0}, {1500, 500.0}})
    ASSERT_EQ(set(id, value), 0);
  const std::vector<int> stageSets[] = {{10}, {20}, {10, 20, 30, 40, 50, 60, 70, 80}};
  for (const std::vector<int>& stages : stageSets) {
    SCOPED_TRACE(stages.size());
    for (int id : {10, 20, 30, 40, 50, 60, 70, 80}) ASSERT_EQ(set(id, 0), 0);
    for (int id : stages) ASSERT_EQ(set(id, 1), 0);
    std::vector<float> left(512), right(512);
    for (int i = 0; i < 512; ++i) left[i] = right[i] = (i % 37) / 40.0f - 0.4f;
    fxtest::run(left, right);
    double lastBlockPeak = 0;
    for (int block = 0; block < 300; ++block) {
      std::fill(left.begin(), left.end(), 0.0f);
      std::fill(right.begin(), right.end(), 0.0f);
      fxtest::run(left, right);
      lastBlockPeak = 0;
      for (float v : left) {
        ASSERT_TRUE(v == 0.0f || std::fabs(v) >= std::numeric_limits<float>::min()) << block << " " << v;
        lastBlockPeak = std::max(lastBlockPeak, static_cast<double>(std::fabs(v)));
      }
    }
    EXPECT_LT(lastBlockPeak, 1e-4);  // about 3.5 s later
  }
}

TEST(ChainLifeCycle, InitFailsCleanlyWithoutUsableTables) {
  const std::string damaged[] = {"", "12 34", "x", "1 101 1 4 1 0 0 1 room 0", "2 101"};
  for (const std::string& text : damaged) {
    fxtest::ConstantsFolder folder(&text);
    EXPECT_EQ(fx::initChain(256), -1) << text;
    EXPECT_EQ(fx::chain().reverb, nullptr);
    EXPECT_EQ(fx::chain().blockSize, 0);
  }
  fxtest::ConstantsFolder folder;
  folder.remove();
  EXPECT_EQ(fx::initChain(256), -1);
  EXPECT_EQ(fx::initChain(0), -1);
  EXPECT_EQ(fx::initChain(-5), -1);
}

TEST(ChainLifeCycle, InitAfterCloseReadsTheTablesAgainAndKeepsTheSettings) {
  fxtest::ConstantsFolder folder;
  ASSERT_EQ(fx::initChain(256), 0);
  ASSERT_EQ(set(1305, 0.9), 0);
  ASSERT_EQ(set(1500, 300), 0);
  ASSERT_EQ(set(10, 1), 0);
  EXPECT_EQ(fx::closeChain(), 0);
  EXPECT_EQ(fx::chain().reverb, nullptr);
  ASSERT_EQ(fx::initChain(1024), 0);
  EXPECT_NE(fx::chain().reverb, nullptr);
  EXPECT_EQ(fx::chain().equaliser.gain(5), 0.9f);
  EXPECT_EQ(fx::chain().widenerAmount, 300);
  EXPECT_EQ(fx::chain().stageSwitch[fx::kEqualiser], 0);  // Init switches every stage off
  // A second Init without Close keeps the reverb and its tables.
  const fx::cReverb* reverb = fx::chain().reverb.get();
  ASSERT_EQ(fx::initChain(2048), 0);
  EXPECT_EQ(fx::chain().reverb.get(), reverb);
  fx::closeChain();
}

// The shipped library: its seven exports under their names, found and driven as the host does.
TEST(ChainLibrary, ExportsTheSevenFunctions) {
  fxtest::ConstantsFolder folder;  // current while the library is loaded: its tables are read from here
  void* library = ::dlopen(WAVEDESK_BIN_DIR "/sv_f_02.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  auto init = reinterpret_cast<int (*)(int)>(::dlsym(library, "Init"));
  auto setParameter = reinterpret_cast<int (*)(int, double*)>(::dlsym(library, "SSetParameter"));
  auto konvert = reinterpret_cast<int (*)(float*, float*, int)>(::dlsym(library, "Konvert"));
  auto reset = reinterpret_cast<int (*)()>(::dlsym(library, "RReset"));
  auto close = reinterpret_cast<int (*)()>(::dlsym(library, "Close"));
  auto inputFormat = reinterpret_cast<int (*)()>(::dlsym(library, "GetInputFormat"));
  auto outputFormat = reinterpret_cast<int (*)()>(::dlsym(library, "GetOutputFormat"));
  ASSERT_TRUE(init && setParameter && konvert && reset && close && inputFormat && outputFormat);
  EXPECT_EQ(inputFormat(), 196);
  EXPECT_EQ(outputFormat(), 68);
  EXPECT_EQ(::dlsym(library, "initChain"), nullptr);  // nothing else is exported under a plain name

  ASSERT_EQ(init(256), 0);
  double on = 1.0, bad = 0.5;
  EXPECT_EQ(setParameter(20, &on), 0);
  EXPECT_EQ(setParameter(20, &bad), -1);
  EXPECT_EQ(setParameter(20, nullptr), -1);
  std::vector<float> left(256, 0.2f), right(256, 0.2f);
  EXPECT_EQ(konvert(left.data(), right.data(), 1024), 1024);
  EXPECT_EQ(konvert(nullptr, nullptr, 1024), 1024);
  EXPECT_EQ(reset(), 0);
  EXPECT_EQ(close(), 0);
  EXPECT_EQ(close(), 0);
  ::dlclose(library);
}

}  // namespace
