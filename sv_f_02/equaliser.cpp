#include "equaliser.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE__)
#include <emmintrin.h>
#endif
#include <numbers>

#include "processor.h"

namespace fx {

namespace {

BiquadCoefficients store(double d, double b0, double b1, double b2, double a1, double a2) {
  BiquadCoefficients c;
  c.b0 = static_cast<float>(b0 / d);
  c.b1 = static_cast<float>(b1 / d);
  c.b2 = static_cast<float>(b2 / d);
  c.a0 = 1.0f;
  c.a1 = static_cast<float>(a1 / d);
  c.a2 = static_cast<float>(a2 / d);
  return c;
}

}  // namespace

BiquadCoefficients designBand(BandRole role, float frequency, float width, float gain) {
  const double f = frequency;
  if (!(f > 0.0 && f < kSampleRate / 2.0)) return BiquadCoefficients{};
  const double k = std::tan(std::numbers::pi * f / kSampleRate);
  const double kk = k * k;
  const double root2 = std::sqrt(2.0);
  const double g = gain;
  const double db = role == BandRole::Peak ? 36.0 * g - 18.0 : 24.0 * g - 12.0;
  const double v = std::pow(10.0, std::fabs(db) / 20.0);
  const bool boost = db >= 0.0;
  const double root2v = std::sqrt(2.0 * v);

  switch (role) {
    case BandRole::LowShelf:
      if (boost)
        return store(1 + root2 * k + kk, 1 + root2v * k + v * kk, 2 * (v * kk - 1), 1 - root2v * k + v * kk,
                     2 * (kk - 1), 1 - root2 * k + kk);
      return store(1 + root2v * k + v * kk, 1 + root2 * k + kk, 2 * (kk - 1), 1 - root2 * k + kk,
                   2 * (v * kk - 1), 1 - root2v * k + v * kk);
    case BandRole::HighShelf: {
      if (boost)
        return store(1 + root2 * k + kk, v + root2v * k + kk, 2 * (kk - v), v - root2v * k + kk, 2 * (kk - 1),
                     1 - root2 * k + kk);
      const double dB = v + root2v * k + kk;
      const double dA = 1 + std::sqrt(2.0 / v) * k + kk / v;
      BiquadCoefficients c;
      c.b0 = static_cast<float>((1 + root2 * k + kk) / dB);
      c.b1 = static_cast<float>(2 * (kk - 1) / dB);
      c.b2 = static_cast<float>((1 - root2 * k + kk) / dB);
      c.a1 = static_cast<float>(2 * (kk / v - 1) / dA);
      c.a2 = static_cast<float>((1 - std::sqrt(2.0 / v) * k + kk / v) / dA);
      return c;
    }
    case BandRole::Peak: {
      const double q = 1.0 / static_cast<double>(width);
      if (boost)
        return store(1 + k / q + kk, 1 + v * k / q + kk, 2 * (kk - 1), 1 - v * k / q + kk, 2 * (kk - 1),
                     1 - k / q + kk);
      return store(1 + v * k / q + kk, 1 + k / q + kk, 2 * (kk - 1), 1 - k / q + kk, 2 * (kk - 1),
                   1 - v * k / q + kk);
    }
  }
  return BiquadCoefficients{};
}

Equaliser::Equaliser() {
  constexpr float kDefaultFrequencies[] = {60, 80, 160, 320, 640, 1100, 2200, 4500, 9000, 12000};
  for (int i = 0; i < kMaxBands; ++i) {
    frequency_[i] = i < 10 ? kDefaultFrequencies[i] : 0.0f;
    width_[i] = 0.25f;
    gain_[i] = 0.5f;
  }
}

void Equaliser::setFrequency(int band, float value) {
  frequency_[band] = value;
  computeBand(band);
}

void Equaliser::setWidth(int band, float value) {
  width_[band] = value;
  computeBand(band);
}

void Equaliser::setGain(int band, float value) {
  gain_[band] = value;
  computeBand(band);
}

void Equaliser::computeAll() {
  for (int i = 0; i < bandCount_ && i < kMaxBands; ++i) computeBand(i);
}

void Equaliser::computeBand(int band) {
  if (band >= bandCount_) return;
  BandRole role = BandRole::Peak;
  if (band == 0) role = BandRole::LowShelf;
  if (band == bandCount_ - 1) role = BandRole::HighShelf;
  coefficients_[band] = designBand(role, frequency_[band], width_[band], gain_[band]);
}

void Equaliser::clearHistories() {
  for (int s = 0; s < 2 * bandCount_ && s < 2 * kMaxBands; ++s) states_[s] = State{};
}

namespace {

// One band on one channel, with its state in registers.
struct BandRunner {
  float b0, b1, b2, a1, a2;
  float x1, x2, y1, y2;
  float step(float x) {
    const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1;
    x1 = x;
    y2 = y1;
    y1 = y;
    return y;
  }
};

}  // namespace

// Where the processor has no vector unit: two bands and both channels per loop.
void Equaliser::processScalar(const int* active, int count, float* left, float* right, int n) {

  auto runner = [this](int band, int slot) {
    const BiquadCoefficients& c = coefficients_[band];
    const State& s = states_[slot];
    return BandRunner{c.b0, c.b1, c.b2, c.a1, c.a2, s.x1, s.x2, s.y1, s.y2};
  };
  auto keep = [this](const BandRunner& r, int slot) { states_[slot] = State{r.x1, r.x2, r.y1, r.y2}; };

  // Two bands and both channels per loop: four recursions that the processor can overlap, each sample
  // still passing the bands in order.
  int k = 0;
  for (; k + 1 < count; k += 2) {
    const int first = active[k], second = active[k + 1];
    BandRunner l1 = runner(first, 2 * first), r1 = runner(first, 2 * first + 1);
    BandRunner l2 = runner(second, 2 * second), r2 = runner(second, 2 * second + 1);
    for (int i = 0; i < n; ++i) {
      left[i] = l2.step(l1.step(left[i]));
      right[i] = r2.step(r1.step(right[i]));
    }
    keep(l1, 2 * first);
    keep(r1, 2 * first + 1);
    keep(l2, 2 * second);
    keep(r2, 2 * second + 1);
  }
  if (k < count) {
    const int band = active[k];
    BandRunner l = runner(band, 2 * band), r = runner(band, 2 * band + 1);
    for (int i = 0; i < n; ++i) {
      left[i] = l.step(left[i]);
      right[i] = r.step(right[i]);
    }
    keep(l, 2 * band);
    keep(r, 2 * band + 1);
  }
}

#if defined(__SSE__)
namespace {

// Four bands as a pipeline over both channels, in the lanes of two vectors: (band k left, band k right,
// band k+1 left, band k+1 right). Band k runs k samples late, so it takes the output band k-1 produced
// the step before; four independent recursions then overlap in the processor. Each lane does its band's
// own float arithmetic in its own order: the results are those of running the bands one after the other.
struct BandPipeline {
  __m128 b0[2], b1[2], b2[2], a1[2], a2[2];
  __m128 x1[2], x2[2], y1[2], y2[2];

  // keep: all bits set in the lanes whose band has no sample at this step.
  template <bool kMasked>
  void step(float left, float right, const __m128* keep) {
    const __m128 in[2] = {_mm_movelh_ps(_mm_unpacklo_ps(_mm_set_ss(left), _mm_set_ss(right)), y1[0]),
                          _mm_shuffle_ps(y1[0], y1[1], _MM_SHUFFLE(1, 0, 3, 2))};
    for (int v = 0; v < 2; ++v) {
      __m128 y = _mm_mul_ps(b0[v], in[v]);
      y = _mm_add_ps(y, _mm_mul_ps(b1[v], x1[v]));
      y = _mm_add_ps(y, _mm_mul_ps(b2[v], x2[v]));
      y = _mm_sub_ps(y, _mm_mul_ps(a1[v], y1[v]));
      y = _mm_sub_ps(y, _mm_mul_ps(a2[v], y2[v]));
      if constexpr (kMasked) {
        x2[v] = pick(keep[v], x2[v], x1[v]);
        x1[v] = pick(keep[v], x1[v], in[v]);
        y2[v] = pick(keep[v], y2[v], y1[v]);
        y1[v] = pick(keep[v], y1[v], y);
      } else {
        x2[v] = x1[v];
        x1[v] = in[v];
        y2[v] = y1[v];
        y1[v] = y;
      }
    }
  }
  static __m128 pick(__m128 keep, __m128 old, __m128 updated) {
    return _mm_or_ps(_mm_and_ps(keep, old), _mm_andnot_ps(keep, updated));
  }
  static float lane(__m128 v, int i) {
    alignas(16) float f[4];
    _mm_store_ps(f, v);
    return f[i];
  }
};

}  // namespace
#endif

void Equaliser::process(float* left, float* right, int n) {
  // The bands that are not neutral, in order.
  int active[kMaxBands];
  int count = 0;
  for (int i = 0; i < bandCount_ && i < kMaxBands; ++i)
    if (gain_[i] != 0.5f) active[count++] = i;
  if (n <= 0) return;
#if defined(__SSE__)
  for (int first = 0; first < count; first += 4) {
    const int bands = std::min(4, count - first);
    alignas(16) float c[5][8], s[4][8];
    for (int stage = 0; stage < 4; ++stage)
      for (int ch = 0; ch < 2; ++ch) {
        const int at = 2 * stage + ch;
        if (stage < bands) {
          const int band = active[first + stage];
          const BiquadCoefficients& k = coefficients_[band];
          const State& st = states_[2 * band + ch];
          c[0][at] = k.b0, c[1][at] = k.b1, c[2][at] = k.b2, c[3][at] = k.a1, c[4][at] = k.a2;
          s[0][at] = st.x1, s[1][at] = st.x2, s[2][at] = st.y1, s[3][at] = st.y2;
        } else {  // a wire
          c[0][at] = 1.0f, c[1][at] = c[2][at] = c[3][at] = c[4][at] = 0.0f;
          s[0][at] = s[1][at] = s[2][at] = s[3][at] = 0.0f;
        }
      }
    BandPipeline p;
    for (int v = 0; v < 2; ++v) {
      p.b0[v] = _mm_load_ps(&c[0][4 * v]), p.b1[v] = _mm_load_ps(&c[1][4 * v]), p.b2[v] = _mm_load_ps(&c[2][4 * v]);
      p.a1[v] = _mm_load_ps(&c[3][4 * v]), p.a2[v] = _mm_load_ps(&c[4][4 * v]);
      p.x1[v] = _mm_load_ps(&s[0][4 * v]), p.x2[v] = _mm_load_ps(&s[1][4 * v]);
      p.y1[v] = _mm_load_ps(&s[2][4 * v]), p.y2[v] = _mm_load_ps(&s[3][4 * v]);
    }
    auto keepMask = [n](int t, __m128* keep) {
      alignas(16) uint32_t bits[8];
      for (int stage = 0; stage < 4; ++stage) {
        const uint32_t idle = (t - stage >= 0 && t - stage < n) ? 0u : ~0u;
        bits[2 * stage] = bits[2 * stage + 1] = idle;
      }
      keep[0] = _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(bits)));
      keep[1] = _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(bits + 4)));
    };
    for (int t = 0; t < n + 3; ++t) {
      const float inLeft = t < n ? left[t] : 0.0f, inRight = t < n ? right[t] : 0.0f;
      if (t >= 3 && t < n) {
        p.step<false>(inLeft, inRight, nullptr);
      } else {
        __m128 keep[2];
        keepMask(t, keep);
        p.step<true>(inLeft, inRight, keep);
      }
      if (t >= 3) {
        // The last stage's output leaves three samples late.
        alignas(16) float out[4];
        _mm_store_ps(out, p.y1[1]);
        left[t - 3] = out[2];
        right[t - 3] = out[3];
      }
    }
    for (int v = 0; v < 2; ++v) {
      _mm_store_ps(&s[0][4 * v], p.x1[v]), _mm_store_ps(&s[1][4 * v], p.x2[v]);
      _mm_store_ps(&s[2][4 * v], p.y1[v]), _mm_store_ps(&s[3][4 * v], p.y2[v]);
    }
    for (int stage = 0; stage < bands; ++stage) {
      const int band = active[first + stage];
      for (int ch = 0; ch < 2; ++ch) {
        const int at = 2 * stage + ch;
        states_[2 * band + ch] = State{s[0][at], s[1][at], s[2][at], s[3][at]};
      }
    }
  }
#else
  processScalar(active, count, left, right, n);
#endif
}

}  // namespace fx
