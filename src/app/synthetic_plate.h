#pragma once
// A synthetic barcoded plate: an FCS file that looks like a pooled run of
// 96 barcoded samples, for trying the tool and for tests and benchmarks.
//
// Each event belongs to a well chosen at random and carries that well's
// code on seven channels "BC1-..." .. "BC7-..." (BCi carries bit 8 - i):
// an "on" bit is drawn from a log-normal population about a decade and a
// half above the "off" population (each bit's own distance; a chosen
// separation scales them all to that distance on average). A few per cent are noise events (a
// random code that is no well) and doublets (two wells' codes combined,
// kept only when the result is no well). The other channels are
// log-normal, plus "Time" and the parameter "TrueCode" holding each event's
// intended code, so that a run can count the events that reach their well.
//
// The same options and seed give the same file on every platform: the
// random numbers come from a generator of our own, not from the standard
// library's distributions.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/vectors.h"

namespace dbc {

struct SyntheticPlateOptions {
  std::int64_t events = 100000;
  int params = 16;         // at least kMinSyntheticParams
  std::uint64_t seed = 1;
  char datatype = 'F';     // 'F' 32-bit float, 'I' 16-bit integer, 'D' 64-bit float
  // Decades between the medians of the "off" and the "on" populations, on
  // average over the seven bits (0 .. 6); none: each bit's own distance,
  // DefaultSeparation() on average.
  std::optional<double> separation;
};

// The average distance in decades between "off" and "on" without a chosen
// separation.
double DefaultSeparation();

constexpr int kMinSyntheticParams = 9;  // Time, seven barcode channels, TrueCode

struct SyntheticPlateSummary {
  std::vector<std::string> names;  // parameter names in file order
  std::array<int, 7> barcodeIndex{};  // parameter index of BC1 .. BC7
  int trueCodeIndex = -1;
  std::int64_t wellEvents = 0;
  std::int64_t noiseEvents = 0;
  std::int64_t doubletEvents = 0;
};

// Checks the options; throws Exception with the reason.
void CheckSyntheticPlateOptions(const SyntheticPlateOptions& options);

// Writes the file (FCS 3.0). Throws the writer's errors.
SyntheticPlateSummary WriteSyntheticPlate(const std::string& filename,
                                          const SyntheticPlateOptions& options);

// A classification measured against the intended codes, in per cent.
struct PlateAccuracy {
  double precision = 0;  // of the events placed in wells, those in their intended well
  double yield = 0;      // of the events meant for wells, those that reach their well
};
// Events with an ambiguous bit (when `ambiguous` is not empty: one per
// code) are placed nowhere. `trueCodes` holds the TrueCode column; at
// least as many values as codes.
PlateAccuracy MeasureAccuracy(const TByteVector& codes, const TByteVector& ambiguous,
                              const TSingleVector& trueCodes);

}  // namespace dbc
