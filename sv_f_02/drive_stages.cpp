#include "drive_stages.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fx {

namespace {
constexpr float kHalfPi = 1.570796f;
constexpr float kDenormalGuard = 1e-14f;

float limitToHalfPi(float t) { return std::clamp(t, -kHalfPi, kHalfPi); }

// sin(t) for |t| <= pi/2, correctly rounded to float (checked against sin in double over the whole range):
// the odd Taylor series to t^17, in double, is exact to about 1e-13 there. Inline and with its terms paired,
// it costs a third of the library's float sine and keeps the callers' states in registers.
inline float sinWithinHalfPi(float t) {
  const double x = t, y = x * x, y2 = y * y, y4 = y2 * y2;
  const double c0 = -1.0 / 6.0, c1 = 1.0 / 120.0, c2 = -1.0 / 5040.0, c3 = 1.0 / 362880.0;
  const double c4 = -1.0 / 39916800.0, c5 = 1.0 / 6227020800.0, c6 = -1.0 / 1307674368000.0;
  const double c7 = 1.0 / 355687428096000.0;
  const double low = (c0 + c1 * y) + (c2 + c3 * y) * y2;
  const double high = (c4 + c5 * y) + (c6 + c7 * y) * y2;
  return static_cast<float>(x + x * y * (low + high * y4));
}
}  // namespace

void cToneShaper::process(float* samples, int n) {
  float* none = nullptr;
  processPair(*this, samples, *this, none, n);
}

std::shared_ptr<const cResoFilterBank::Table> cResoFilterBank::buildTable() {
  auto table = std::make_shared<Table>(kRows);
  const double fs = static_cast<float>(kSampleRate);
  for (int i = 0; i < kRows; ++i) {
    double t = static_cast<double>(i) / kRows;
    t = t * t * t;
    FourPoleCoefficients design = designFourPole(t * (fs / 2.0 - 200.0) + 200.0);
    Row& row = (*table)[i];
    std::copy(design.b.begin(), design.b.end(), row.b);
    std::copy(design.a.begin(), design.a.end(), row.a);
    row.inverseA0 = 1.0f / row.a[0];
  }
  return table;
}

void cResoFilterBank::setUp(std::shared_ptr<const Table> table) {
  table_ = std::move(table);
  position_ = targetPosition_ = 16383.0f;
  k_ = 0.0f;
  inputHistory_.fill(0.0f);
  outputHistory_.fill(0.0f);
  write_ = 0;
}

// One filter's state held in registers across a loop; the last four inputs and outputs shift through
// registers rather than the circular histories, which get them back at the end.
struct cResoFilterBank::Runner {
  explicit Runner(cResoFilterBank& owner)
      : self(owner), rows(owner.table_->data()), w(owner.write_), last(owner.lastOutput_),
        position(owner.position_), drive(owner.drive_), wet(owner.wet_), k(owner.k_),
        targetPosition(owner.targetPosition_), targetDrive(owner.targetDrive_), targetWet(owner.targetWet_) {
    for (int j = 1; j <= 4; ++j) {
      in[j] = owner.inputHistory_[(w - j) & 7];
      out[j] = owner.outputHistory_[(w - j) & 7];
    }
  }
  ~Runner() {
    for (int j = 1; j <= 4; ++j) {
      self.inputHistory_[(w - j) & 7] = in[j];
      self.outputHistory_[(w - j) & 7] = out[j];
    }
    self.write_ = static_cast<uint16_t>(w);
    self.lastOutput_ = last;
    self.position_ = position;
    self.drive_ = drive;
    self.wet_ = wet;
  }

  float step(float x) {
    position = static_cast<float>(0.999 * position + 0.001 * targetPosition);
    const Row& row = rows[std::clamp(static_cast<int>(position), 0, kRows - 1)];
    const float u = x - last * k + kDenormalGuard;
    float y = row.b[0] * u;
    for (int j = 1; j <= 4; ++j) y += row.b[j] * in[j] - row.a[j] * out[j];
    y *= row.inverseA0;
    last = y;
    in[4] = in[3], in[3] = in[2], in[2] = in[1], in[1] = u;
    out[4] = out[3], out[3] = out[2], out[2] = out[1], out[1] = y;
    if (drive > 0.2f) {
      // The drive glides to its target and then rests; its root is worked out only while it moves.
      if (drive != rootOf) {
        rootOf = drive;
        root = std::sqrt(drive);
      }
      const float s = sinWithinHalfPi(limitToHalfPi(y * drive));
      y = drive >= 1.0f ? s / root : s / drive;
    }
    if (wet < 1.0f) y = wet * y + (1.0f - wet) * x;
    w = (w + 1) & 7;
    wet = static_cast<float>(0.001 * targetWet + 0.999 * wet);
    drive = static_cast<float>(0.999 * drive + 0.001 * targetDrive);
    return y;
  }

  cResoFilterBank& self;
  const Row* rows;
  int w;
  float last, position, drive, wet;
  const float k, targetPosition, targetDrive, targetWet;
  float in[5], out[5];
  float rootOf = -1.0f, root = 0.0f;
};

void cResoFilterBank::process(float* samples, int n) {
  if (!table_) return;
  Runner run(*this);
  for (int i = 0; i < n; ++i) samples[i] = run.step(samples[i]);
}

#if defined(__SSE2__)
namespace {

__m128 pick(__m128 mask, __m128 chosen, __m128 other) {
  return _mm_or_ps(_mm_and_ps(mask, chosen), _mm_andnot_ps(mask, other));
}

// 0.999 * a + 0.001 * b (or the given weights) in double, as float: the glides of the bank.
__m128 glide(__m128 a, double wa, __m128 b, double wb) {
  const __m128d ad = _mm_cvtps_pd(a), bd = _mm_cvtps_pd(b);
  return _mm_cvtpd_ps(_mm_add_pd(_mm_mul_pd(_mm_set1_pd(wa), ad), _mm_mul_pd(_mm_set1_pd(wb), bd)));
}

// The series of sinWithinHalfPi for the two low lanes.
__m128 sinWithinHalfPiLanes(__m128 t) {
  const __m128d x = _mm_cvtps_pd(t), y = _mm_mul_pd(x, x), y2 = _mm_mul_pd(y, y), y4 = _mm_mul_pd(y2, y2);
  auto pair = [&](double c, double d) { return _mm_add_pd(_mm_set1_pd(c), _mm_mul_pd(_mm_set1_pd(d), y)); };
  const __m128d low = _mm_add_pd(pair(-1.0 / 6.0, 1.0 / 120.0), _mm_mul_pd(pair(-1.0 / 5040.0, 1.0 / 362880.0), y2));
  const __m128d high = _mm_add_pd(pair(-1.0 / 39916800.0, 1.0 / 6227020800.0),
                                  _mm_mul_pd(pair(-1.0 / 1307674368000.0, 1.0 / 355687428096000.0), y2));
  const __m128d sum = _mm_add_pd(low, _mm_mul_pd(high, y4));
  return _mm_cvtpd_ps(_mm_add_pd(x, _mm_mul_pd(_mm_mul_pd(x, y), sum)));
}

}  // namespace
#endif

void cToneShaper::processPair(cToneShaper& left, float* leftSamples, cToneShaper& right, float* rightSamples,
                              int n) {
  // Both channels in one loop when there are two: their smoothers are independent recursions.
  auto runner = [](cToneShaper& shaper) {
    struct {
      float a, rest, drive, norm, z;
      bool smooth;
      float step(float x) {
        const float s = x + kDenormalGuard;
        z = smooth ? a * s + rest * z : s;
        return sinWithinHalfPi(limitToHalfPi(z * drive)) / norm;
      }
    } r{shaper.a_, 1.0f - shaper.a_, shaper.y_, shaper.y_ < 1.0f ? shaper.y_ : std::sqrt(shaper.y_), shaper.z_,
        shaper.a_ < 1.0f};
    return r;
  };
  auto l = runner(left);
  if (rightSamples == nullptr || &left == &right) {
    for (int i = 0; i < n; ++i) leftSamples[i] = l.step(leftSamples[i]);
    left.z_ = l.z;
    return;
  }
  auto r = runner(right);
#if defined(__SSE2__)
  // Left in lane 0, right in lane 1, each lane with its channel's own float arithmetic in its own order.
  const __m128 a = _mm_setr_ps(l.a, r.a, 0, 0), rest = _mm_setr_ps(l.rest, r.rest, 0, 0);
  const __m128 drive = _mm_setr_ps(l.drive, r.drive, 0, 0), norm = _mm_setr_ps(l.norm, r.norm, 1, 1);
  const __m128 smooth = _mm_castsi128_ps(_mm_setr_epi32(l.smooth ? -1 : 0, r.smooth ? -1 : 0, 0, 0));
  const __m128 guard = _mm_set1_ps(kDenormalGuard), lo = _mm_set1_ps(-kHalfPi), hi = _mm_set1_ps(kHalfPi);
  __m128 z = _mm_setr_ps(l.z, r.z, 0, 0);
  alignas(16) float out[4];
  for (int i = 0; i < n; ++i) {
    const __m128 s = _mm_add_ps(_mm_setr_ps(leftSamples[i], rightSamples[i], 0, 0), guard);
    z = pick(smooth, _mm_add_ps(_mm_mul_ps(a, s), _mm_mul_ps(rest, z)), s);
    const __m128 y = _mm_div_ps(sinWithinHalfPiLanes(_mm_min_ps(_mm_max_ps(_mm_mul_ps(z, drive), lo), hi)), norm);
    _mm_store_ps(out, y);
    leftSamples[i] = out[0];
    rightSamples[i] = out[1];
  }
  _mm_store_ps(out, z);
  left.z_ = out[0];
  right.z_ = out[1];
#else
  for (int i = 0; i < n; ++i) {
    leftSamples[i] = l.step(leftSamples[i]);
    rightSamples[i] = r.step(rightSamples[i]);
  }
  left.z_ = l.z;
  right.z_ = r.z;
#endif
}

void cResoFilterBank::processPair(cResoFilterBank& left, float* leftSamples, cResoFilterBank& right,
                                  float* rightSamples, int n) {
  if (!left.table_ || !right.table_ || &left == &right) {
    left.process(leftSamples, n);
    right.process(rightSamples, n);
    return;
  }
#if defined(__SSE2__)
  // Left in lane 0, right in lane 1 of every vector; each lane does its channel's own float arithmetic in
  // its own order, so the results are those of running the channels one after the other.
  cResoFilterBank* bank[2] = {&left, &right};
  auto lanes = [&](auto member) { return _mm_setr_ps(left.*member, right.*member, 0.0f, 0.0f); };
  __m128 in[5], out[5];
  for (int j = 1; j <= 4; ++j) {
    in[j] = _mm_setr_ps(left.inputHistory_[(left.write_ - j) & 7], right.inputHistory_[(right.write_ - j) & 7], 0, 0);
    out[j] = _mm_setr_ps(left.outputHistory_[(left.write_ - j) & 7], right.outputHistory_[(right.write_ - j) & 7], 0, 0);
  }
  __m128 last = lanes(&cResoFilterBank::lastOutput_), position = lanes(&cResoFilterBank::position_);
  __m128 drive = lanes(&cResoFilterBank::drive_), wet = lanes(&cResoFilterBank::wet_);
  const __m128 k = lanes(&cResoFilterBank::k_), targetPosition = lanes(&cResoFilterBank::targetPosition_);
  const __m128 targetDrive = lanes(&cResoFilterBank::targetDrive_), targetWet = lanes(&cResoFilterBank::targetWet_);
  const Row* rows[2] = {left.table_->data(), right.table_->data()};
  const __m128 guard = _mm_set1_ps(kDenormalGuard), one = _mm_set1_ps(1.0f), floorDrive = _mm_set1_ps(0.2f);
  const __m128 lo = _mm_set1_ps(-kHalfPi), hi = _mm_set1_ps(kHalfPi);
  alignas(16) float store[4];
  alignas(16) int index[4];
  for (int i = 0; i < n; ++i) {
    const __m128 x = _mm_setr_ps(leftSamples[i], rightSamples[i], 0.0f, 0.0f);
    position = glide(position, 0.999, targetPosition, 0.001);
    _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_cvttps_epi32(position));
    const Row& l = rows[0][std::clamp(index[0], 0, kRows - 1)];
    const Row& r = rows[1][std::clamp(index[1], 0, kRows - 1)];
    const __m128 u = _mm_add_ps(_mm_sub_ps(x, _mm_mul_ps(last, k)), guard);
    __m128 y = _mm_mul_ps(_mm_setr_ps(l.b[0], r.b[0], 0, 0), u);
    for (int j = 1; j <= 4; ++j) {
      const __m128 forward = _mm_mul_ps(_mm_setr_ps(l.b[j], r.b[j], 0, 0), in[j]);
      const __m128 back = _mm_mul_ps(_mm_setr_ps(l.a[j], r.a[j], 0, 0), out[j]);
      y = _mm_add_ps(y, _mm_sub_ps(forward, back));
    }
    y = _mm_mul_ps(y, _mm_setr_ps(l.inverseA0, r.inverseA0, 0, 0));
    last = y;
    in[4] = in[3], in[3] = in[2], in[2] = in[1], in[1] = u;
    out[4] = out[3], out[3] = out[2], out[2] = out[1], out[1] = y;
    const __m128 s = sinWithinHalfPiLanes(_mm_min_ps(_mm_max_ps(_mm_mul_ps(y, drive), lo), hi));
    const __m128 saturated = pick(_mm_cmpge_ps(drive, one), _mm_div_ps(s, _mm_sqrt_ps(drive)), _mm_div_ps(s, drive));
    y = pick(_mm_cmpgt_ps(drive, floorDrive), saturated, y);
    const __m128 mixed = _mm_add_ps(_mm_mul_ps(wet, y), _mm_mul_ps(_mm_sub_ps(one, wet), x));
    y = pick(_mm_cmplt_ps(wet, one), mixed, y);
    wet = glide(targetWet, 0.001, wet, 0.999);
    drive = glide(drive, 0.999, targetDrive, 0.001);
    _mm_store_ps(store, y);
    leftSamples[i] = store[0];
    rightSamples[i] = store[1];
  }
  alignas(16) float inValues[5][4], outValues[5][4], state[4][4];
  for (int j = 1; j <= 4; ++j) {
    _mm_store_ps(inValues[j], in[j]);
    _mm_store_ps(outValues[j], out[j]);
  }
  _mm_store_ps(state[0], last);
  _mm_store_ps(state[1], position);
  _mm_store_ps(state[2], drive);
  _mm_store_ps(state[3], wet);
  for (int ch = 0; ch < 2; ++ch) {
    cResoFilterBank& b = *bank[ch];
    const int w = (b.write_ + n) & 7;
    for (int j = 1; j <= 4; ++j) {
      b.inputHistory_[(w - j) & 7] = inValues[j][ch];
      b.outputHistory_[(w - j) & 7] = outValues[j][ch];
    }
    b.write_ = static_cast<uint16_t>(w);
    b.lastOutput_ = state[0][ch];
    b.position_ = state[1][ch];
    b.drive_ = state[2][ch];
    b.wet_ = state[3][ch];
  }
#else
  Runner l(left), r(right);
  for (int i = 0; i < n; ++i) {
    leftSamples[i] = l.step(leftSamples[i]);
    rightSamples[i] = r.step(rightSamples[i]);
  }
#endif
}

void cReso4PoleLP::setCutoff(double cutoff) {
  cutoff_ = cutoff;
  FourPoleCoefficients design = designFourPole(cutoff, true, q_);
  line_.setCoefficients(design.b.data(), design.a.data(), 5);
}

float cSoftClip::clip(float s) const {
  const float x = s * gain_;
  // Past a few units the curve rounds to exactly +-1 in float; the largest float below 1 keeps the
  // promise of an output strictly inside the range. NaN input leaves as silence.
  constexpr float kJustBelowOne = 0.99999994f;
  float y;
  if (x < -0.5f)
    y = 0.5f * std::exp(2.0f * x + 1.0f) - 1.0f;
  else if (x > 0.5f)
    y = 1.0f - 0.5f * std::exp(1.0f - 2.0f * x);
  else if (x == x)
    return x;
  else
    return 0.0f;
  return std::clamp(y, -kJustBelowOne, kJustBelowOne);
}

void cSoftClip::process(float* samples, int n) const {
  for (int i = 0; i < n; ++i) samples[i] = clip(samples[i]);
}

}  // namespace fx
