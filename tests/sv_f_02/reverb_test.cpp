#include "sv_f_02/reverb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "sv_f_02/fx_test_support.h"
#include "sv_f_02/room_geometry.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kR = 0.085;

// Paths round a spherical head, worked out from the geometry: the ear facing the source hears it straight,
// the other along the tangent from the source and the arc round the head.
TEST(EarPaths, FollowTheHeadGeometry) {
  const double d = 2.0, q = std::acos(kR / d), t = std::sqrt(d * d - kR * kR);
  const struct {
    const char* where;
    double azimuth;
    double left, right;
    bool leftShadowed, rightShadowed;
  } cases[] = {
      {"right", kPi / 2, kR * (kPi - q) + t, d - kR, true, false},
      {"left", 3 * kPi / 2, d - kR, kR * (kPi - q) + t, false, true},
      {"ahead", 0.0, kR * (kPi / 2 - q) + t, kR * (kPi / 2 - q) + t, true, true},
      {"behind", kPi, kR * (kPi / 2 - q) + t, kR * (kPi / 2 - q) + t, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    auto paths = fx::earPaths(c.azimuth, d);
    EXPECT_NEAR(paths[0].length, c.left, 1e-12);
    EXPECT_NEAR(paths[1].length, c.right, 1e-12);
    EXPECT_EQ(paths[0].shadowed, c.leftShadowed);
    EXPECT_EQ(paths[1].shadowed, c.rightShadowed);
  }
  // Mirror images: a source on the right is to the right ear what its mirror is to the left ear.
  for (double azimuth = 0.1; azimuth < kPi; azimuth += 0.37) {
    auto right = fx::earPaths(azimuth, 1.5), left = fx::earPaths(2 * kPi - azimuth, 1.5);
    EXPECT_NEAR(right[1].length, left[0].length, 1e-9) << azimuth;
    EXPECT_NEAR(right[0].length, left[1].length, 1e-9) << azimuth;
  }
  // A source inside the head stands on its surface.
  auto inside = fx::earPaths(kPi / 2, 0.01);
  EXPECT_TRUE(std::isfinite(inside[0].length));
  EXPECT_NEAR(inside[1].length, 0.0, 1e-12);
}

TEST(HeadShadow, DoublePoleWithUnitGainAtDc) {
  for (double direction : {0.3, 1.2, kPi / 2}) {
    const double s = fx::headShadowPole(direction);
    ASSERT_GT(s, 0.0);
    fx::FilterCoefficients f = fx::headShadowFilter(s);
    EXPECT_NEAR(fxtest::responseAt(f.b, f.a, 0.0), 1.0, 1e-12);
    // a = s (1 - s z^-1)^2
    EXPECT_NEAR(f.a[1] / f.a[0], -2 * s, 1e-12);
    EXPECT_NEAR(f.a[2] / f.a[0], s * s, 1e-12);
    EXPECT_GT(fx::headShadowPhaseDelay(s), 0.0);
  }
  EXPECT_NEAR(fx::headShadowPole(kPi / 2), 0.764, 0.001);
  EXPECT_EQ(fx::headShadowFilter(0.0).b.size(), 1u);
  EXPECT_EQ(fx::headShadowPhaseDelay(0.0), 0.0);
}

TEST(Pan3D, DelaysAndGainsFollowThePaths) {
  fx::cPan3D pan;
  pan.configure(kPi / 2, 3.4);  // on the right, 10 ms away
  const fx::cPan3D::Ear& near = pan.ear(1);
  EXPECT_EQ(near.filter.b.size(), 1u);
  EXPECT_EQ(near.delay, static_cast<int>(std::lround((3.4 - kR) * 44100 / 340.0)));
  EXPECT_NEAR(near.gain, 1.0 / ((3.4 - kR) * (3.4 - kR) + 0.1), 1e-12);
  EXPECT_GT(pan.ear(0).delay, near.delay);

  std::vector<float> src = fxtest::impulse(600), left(600), right(600);
  pan.process(src.data(), left.data(), right.data(), 600, false);
  for (int i = 0; i < 600; ++i)
    EXPECT_EQ(right[i], i == near.delay ? static_cast<float>(near.gain) : 0.0f) << i;
  for (int i = 0; i < pan.ear(0).delay - 3; ++i) EXPECT_EQ(left[i], 0.0f) << i;
}

TEST(RoomGeometry, ImagesAndSpeakers) {
  fx::WallRecord wall{1, 0, 0, 0.5, 0.9};  // the plane x = 0.5 * scale
  fx::Vec3 image = fx::mirror({1, 2, 3}, wall, 10.0);
  EXPECT_DOUBLE_EQ(image.x, 9.0);
  EXPECT_DOUBLE_EQ(image.y, 2.0);
  EXPECT_DOUBLE_EQ(image.z, 3.0);

  fx::RoomTable room;
  room.scale = 2.0;
  room.listener[0] = 1.0;
  room.speakerDistance = 3.0;
  room.speakerDirection = 0.0;  // straight along +y
  room.speakerSpacing = 1.0;
  fx::Placement p = fx::placeSpeakers(room);
  EXPECT_DOUBLE_EQ(p.listener.x, 2.0);
  EXPECT_DOUBLE_EQ(p.leftSpeaker.x, 1.5);
  EXPECT_DOUBLE_EQ(p.rightSpeaker.x, 2.5);
  EXPECT_DOUBLE_EQ(p.leftSpeaker.y, 3.0);
  // Straight ahead of a listener facing +y is azimuth 0; +x is to the right.
  EXPECT_NEAR(fx::imageAzimuth({0, 5, 0}, 0.0), 0.0, 1e-12);
  EXPECT_NEAR(fx::imageAzimuth({5, 0, 0}, 0.0), kPi / 2, 1e-12);
  EXPECT_NEAR(fx::imageAzimuth({0, -5, 0}, 0.0), kPi, 1e-12);
}

TEST(EarlyReflections, EachRouteTapsItsDelay) {
  fx::cEarlyReflections::Tap tap{{3, 5, 7, 9}, {0.5f, 0.25f, 0.125f, 2.0f}};
  fx::cEarlyReflections early({tap});
  EXPECT_EQ(early.historyLength(), 16);
  std::vector<float> inL = fxtest::impulse(3000), inR(3000), outL(3000), outR(3000);
  inR[100] = 1.0f;
  early.process(inL.data(), inR.data(), outL.data(), outR.data(), 3000);
  for (int i = 0; i < 3000; ++i) {
    EXPECT_EQ(outL[i], i == 3 ? 0.5f : i == 107 ? 0.125f : 0.0f) << i;
    EXPECT_EQ(outR[i], i == 5 ? 0.25f : i == 109 ? 2.0f : 0.0f) << i;
  }
}

fx::ReverbTables tablesWith(std::vector<fx::WallRecord> walls) {
  std::istringstream in("3 101 211 307 2 2 1 0 0 1 4 0.5 0.5 0.5 0.5 0.5 -0.5 0.5 -0.5 0.5 0.5 -0.5 -0.5 "
                        "0.5 -0.5 -0.5 0.5 room 0");
  fx::ReverbTables tables = *fx::readReverbTables(in);
  tables.rooms[0].walls = std::move(walls);
  return tables;
}

TEST(Reverb, AnEmptyRoomStillHasDirectSoundAndALateTail) {
  fx::cReverb reverb(tablesWith({}));
  reverb.applyPreset(0);
  EXPECT_TRUE(reverb.early().taps().empty());
  EXPECT_EQ(reverb.late().lineCount(), 4);  // the preset asks for 8 lines; the file has matrices up to 4
  const int n = 8192;
  std::vector<float> left = fxtest::impulse(n, 0.5f), right = fxtest::impulse(n, 0.5f), sl(n), sr(n);
  reverb.process(left.data(), right.data(), sl.data(), sr.data(), n);
  double energy = 0;
  for (int i = 0; i < n; ++i) energy += left[i] * left[i];
  EXPECT_GT(energy, 0.0);
}

TEST(Reverb, ResetSilencesEveryTail) {
  fx::cReverb reverb(tablesWith({{1, 0, 0, 0.5, 0.9}, {-1, 0, 0, 0.5, 0.9}, {0, 1, 0, 0.8, 0.9}}));
  reverb.applyPreset(2);
  const int n = 4096;
  std::vector<float> left(n, 0.3f), right(n, -0.2f), sl(n), sr(n);
  reverb.process(left.data(), right.data(), sl.data(), sr.data(), n);
  reverb.reset();
  std::fill(left.begin(), left.end(), 0.0f);
  std::fill(right.begin(), right.end(), 0.0f);
  // Longer than any block before: the work arrays grow and the block runs normally.
  left.resize(2 * n);
  right.resize(2 * n);
  sl.resize(2 * n);
  sr.resize(2 * n);
  reverb.process(left.data(), right.data(), sl.data(), sr.data(), 2 * n);
  for (int i = 0; i < 2 * n; ++i) ASSERT_EQ(left[i], 0.0f);
}

TEST(Reverb, PresetRoomsAndLineCounts) {
  fxtest::ConstantsFolder folder;
  std::ifstream in("constants.dat");
  fx::cReverb reverb(*fx::readReverbTables(in));
  const struct {
    int preset;
    int lines;
    size_t walls;
  } cases[] = {{0, 8, 6}, {1, 8, 6}, {2, 4, 6}, {3, 8, 6}, {4, 8, 6}};
  for (const auto& c : cases) {
    reverb.applyPreset(c.preset);
    EXPECT_EQ(reverb.late().lineCount(), c.lines) << c.preset;
    EXPECT_EQ(reverb.early().taps().size(), c.walls) << c.preset;
    // Snapped delays are distinct candidates.
    std::set<int> delays;
    for (int j = 0; j < c.lines; ++j) delays.insert(reverb.late().delay(j));
    EXPECT_EQ(delays.size(), static_cast<size_t>(c.lines));
    for (int d : delays) EXPECT_TRUE(reverb.tables().candidates.count(d));
  }
}

}  // namespace
