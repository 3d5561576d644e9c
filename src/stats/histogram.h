#pragma once
// Evenly spaced histogram of float values with fractional counts, and the
// guess of the threshold between the low and the high population of a
// barcode channel.
#include <concepts>
#include <cstddef>
#include <cstdint>

#include "util/numeric.h"
#include "util/vectors.h"

namespace dbc {

class Thistogram {
 public:
  float scale = 0;     // 1 / step; 1 when step is 0
  float step = 0;      // distance between neighbouring points
  float xmax = 0;      // upper end of the range
  float xmin = 0;      // lower end of the range
  float halfstep = 0;  // step / 2
  float delta = 0;     // xmax - xmin
  double Sum = 0;      // sum of the values added
  std::int32_t Total = 0;        // number of values added
  std::int32_t HistoPoints = 0;  // number of points asked for
  TVector Xvalue;  // point i is centred on xmin + (i + 0.5) step
  TVector Yvalue;  // point heights

  Thistogram() = default;

  // The first `size` values of V (all of them when size is -1; no more than
  // V holds; none for another negative size) on `maxpoints` points. The
  // scratch is used only for a sample that holds a NaN; V must not be one of
  // its buffers. A scratch with `reference` set takes the plain algorithms
  // (extremes from the sorted sample, one value added at a time), which the
  // others reproduce bit for bit.
  static Thistogram Create(const TSingleVector& V, int maxpoints, int size);
  static Thistogram Create(const TSingleVector& V, int maxpoints, int size, TColumnScratch& scratch);
  // `size` consecutive floats or unsigned bytes at s.
  template <class T>
    requires std::same_as<T, float> || std::same_as<T, std::uint8_t>
  static Thistogram Create(const T* s, int size, int maxpoints) {
    TSingleVector W;
    if (s && size > 0) W.assign(s, s + size);
    return FromSample(W, maxpoints);
  }
  static Thistogram Create(const TIntVector& V, int resolution);
  // Every element of M row by row; a row contributes at most as many
  // elements as the first row has.
  static Thistogram Create(const TMatrix& M, int maxpoints);
  // Empty, scaled over [VMin, VMax].
  static Thistogram Create(float VMin, float VMax, int NPoints);

  float MinValue() const { return xmin; }
  float MaxValue() const { return xmax; }
  float Average() const;
  int Count() const { return static_cast<int>(Xvalue.size()); }

  void CreateXScale(float x_min, float x_max, int maxpoints);
  // Scale from the extremes of the first `size` values of V; a sample without
  // spread gives a single point at its value.
  void CreateXScale(const TSingleVector& V, int maxpoints, int size);
  void CreateXScale(const TSingleVector& V, int maxpoints, int size, TColumnScratch& scratch);

  // One unit of count shared between the two points around X.
  void AddValue(float X);
  // X[Start] .. X[Stop] in order, Stop included, limited to the indices X has.
  void AddValues(const TSingleVector& X, int Start, int Stop);
  // The n values at x in order; the reference adds one value at a time,
  // AddRange computes points and shares four values at a time and adds
  // them in the same order, with the same sums.
  void AddRange(const float* x, std::size_t n);
  void AddRangeReference(const float* x, std::size_t n);
  void Reset();
  void Smooth();
  // Position at which the fraction p of the counts is reached; Index, when
  // given, receives the nearest point.
  float Percentile(float p, std::int32_t* Index = nullptr) const;
  // The valley next to the median of the smoothed heights, then 2.5 % of
  // the counts above the valley further up.
  float GuessThreshold() const;
  // The valley point alone: where a walk downhill from the median ends,
  // without the step into the population above.
  float ValleyPoint() const;

 private:
  static Thistogram FromSample(const TSingleVector& W, int maxpoints);
  void FillFromValues(const float* w, std::size_t n, TColumnScratch* scratch);
  void ScaleFromSample(const float* w, std::size_t n, int maxpoints, TColumnScratch* scratch);
  // Index of the valley point; -1 without points.
  std::ptrdiff_t ValleyIndex() const;
};

}  // namespace dbc
