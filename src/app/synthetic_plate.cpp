#include "app/synthetic_plate.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

#include "app/plate.h"
#include "fcs/fcs_write.h"
#include "util/errors.h"

namespace dbc {

namespace {

// xoshiro256** seeded through splitmix64.
class Random {
 public:
  explicit Random(std::uint64_t seed) {
    for (auto& s : s_) {
      seed += 0x9E3779B97F4A7C15ULL;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      s = z ^ (z >> 31);
    }
  }
  std::uint64_t Next() {
    const std::uint64_t result = std::rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = std::rotl(s_[3], 45);
    return result;
  }
  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
  int Below(int n) { return static_cast<int>(Uniform() * n); }
  double Normal() {
    if (spare_) {
      spare_ = false;
      return cached_;
    }
    const double u = 1.0 - Uniform();  // (0, 1]
    const double v = Uniform();
    const double r = std::sqrt(-2.0 * std::log(u));
    cached_ = r * std::sin(2 * std::numbers::pi * v);
    spare_ = true;
    return r * std::cos(2 * std::numbers::pi * v);
  }
  double LogNormal(double median, double sigma) { return median * std::exp(sigma * Normal()); }

 private:
  std::uint64_t s_[4];
  bool spare_ = false;
  double cached_ = 0;
};

// Barcode channels as a palladium/indium mass-tag barcode names them.
const char* const kBarcodeNames[7] = {"BC1-Pd102Di", "BC2-Pd104Di", "BC3-Pd105Di", "BC4-Pd106Di",
                                      "BC5-Pd108Di", "BC6-Pd110Di", "BC7-In113Di"};
const char* const kOtherNames[] = {"Event_length", "CD45-Y89Di",   "CD3-Cd112Di", "CD19-Nd142Di",
                                   "CD4-Nd145Di",  "CD8a-Nd146Di", "CD14-Nd148Di", "CD56-Sm149Di",
                                   "CD16-Eu151Di", "CD20-Sm147Di", "CD11c-Sm154Di", "CD123-Eu153Di",
                                   "HLA-DR-Yb174Di", "CD38-Er167Di", "CD27-Er167Di", "DNA1-Ir191Di",
                                   "DNA2-Ir193Di"};

// Median of every "on" barcode population, bit 1..7, and the "off" median;
// sigmas of the natural logarithm.
constexpr double kOnMedian[7] = {260, 310, 180, 400, 220, 350, 290};
constexpr double kOffMedian = 9;
constexpr double kOnSigma = 0.45;
constexpr double kOffSigma = 0.6;
constexpr double kNoiseShare = 0.03;
constexpr double kDoubletShare = 0.02;

// The "on" medians: the bits' own, or scaled on the log scale so that
// their average distance from "off" is the chosen separation.
std::array<double, 7> OnMedians(const std::optional<double>& separation) {
  std::array<double, 7> on{};
  for (std::size_t b = 0; b < on.size(); ++b)
    on[b] = separation ? kOffMedian * std::pow(kOnMedian[b] / kOffMedian, *separation / DefaultSeparation())
                       : kOnMedian[b];
  return on;
}

}  // namespace

double DefaultSeparation() {
  double sum = 0;
  for (double on : kOnMedian) sum += std::log10(on / kOffMedian);
  return sum / 7;
}

void CheckSyntheticPlateOptions(const SyntheticPlateOptions& o) {
  if (o.events < 0 || o.events > std::numeric_limits<std::int32_t>::max())
    throw Exception("The number of events must be 0 .. 2147483647");
  if (o.params < kMinSyntheticParams || o.params > 1000)
    throw Exception("The number of parameters must be " + std::to_string(kMinSyntheticParams) +
                    " .. 1000");
  if (o.datatype != 'F' && o.datatype != 'I' && o.datatype != 'D')
    throw Exception("The data type must be F, I or D");
  if (o.separation && !(*o.separation >= 0 && *o.separation <= 6))
    throw Exception("The separation must be 0 .. 6 decades");
}

SyntheticPlateSummary WriteSyntheticPlate(const std::string& filename,
                                          const SyntheticPlateOptions& o) {
  CheckSyntheticPlateOptions(o);
  BuildPlateTables();
  const int P = o.params;
  SyntheticPlateSummary sum;
  sum.names.assign(static_cast<std::size_t>(P), "");
  sum.names.front() = "Time";
  sum.names.back() = "TrueCode";
  sum.trueCodeIndex = P - 1;
  // The barcode channels spread among the other channels.
  const int middle = P - 2;
  for (int k = 0; k < 7; ++k) {
    const int idx = 1 + (k * middle) / 7;
    sum.barcodeIndex[static_cast<std::size_t>(k)] = idx;
    sum.names[static_cast<std::size_t>(idx)] = kBarcodeNames[k];
  }
  std::size_t other = 0;
  for (auto& name : sum.names)
    if (name.empty()) {
      name = other < std::size(kOtherNames) ? kOtherNames[other]
                                            : "Ch" + std::to_string(other + 1) + "Di";
      ++other;
    }
  // Role of every parameter: -2 Time, -3 TrueCode, -4 Event_length,
  // 1..7 barcode bit, 0 another marker.
  std::vector<int> role(static_cast<std::size_t>(P), 0);
  role.front() = -2;
  role.back() = -3;
  for (int k = 0; k < 7; ++k) role[static_cast<std::size_t>(sum.barcodeIndex[static_cast<std::size_t>(k)])] = 8 - (k + 1);
  for (int p = 0; p < P; ++p)
    if (sum.names[static_cast<std::size_t>(p)] == "Event_length") role[static_cast<std::size_t>(p)] = -4;

  TFCSWrite w(filename);
  TPreText& t = w.Text;
  t.SetValue("$BYTEORD", "1,2,3,4");
  t.SetValue("$DATATYPE", std::string(1, o.datatype));
  t.SetValue("$MODE", "L");
  t.SetValue("$NEXTDATA", "0");
  t.SetValue("$PAR", std::to_string(P));
  t.SetValue("$CYT", "synthetic plate");
  const auto slash = filename.rfind('/');
  t.SetValue("$FIL", slash == std::string::npos ? filename : filename.substr(slash + 1));
  const int bits = o.datatype == 'I' ? 16 : o.datatype == 'F' ? 32 : 64;
  for (int p = 0; p < P; ++p) {
    const std::string n = "$P" + std::to_string(p + 1);
    t.SetValue(n + "N", sum.names[static_cast<std::size_t>(p)]);
    const auto dash = sum.names[static_cast<std::size_t>(p)].find('-');
    if (dash != std::string::npos) t.SetValue(n + "S", sum.names[static_cast<std::size_t>(p)].substr(0, dash));
    t.SetValue(n + "B", std::to_string(bits));
    t.SetValue(n + "R", "65536");
    t.SetValue(n + "E", "0,0");
  }
  // A small spill of every barcode channel into the next heavier one.
  std::string spill = "7";
  for (const char* name : kBarcodeNames) spill += std::string(",") + name;
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j) spill += i == j ? ",1" : j == i + 1 ? ",0.012" : ",0";
  t.SetValue("$SPILLOVER", spill);
  w.BeginData();

  Random rng(o.seed);
  const std::array<std::uint8_t, kNoWellCodeCount> trash = NoWellCodes();
  const std::array<double, 7> onMedian = OnMedians(o.separation);
  const double timeStep = o.events > 0 ? 6000.0 / static_cast<double>(o.events) : 0;
  std::vector<double> medians(static_cast<std::size_t>(P));
  for (int p = 0; p < P; ++p) medians[static_cast<std::size_t>(p)] = 5 + 40 * rng.Uniform() * (1 + p % 5);
  std::vector<double> row(static_cast<std::size_t>(P));
  TSingleVector frow(static_cast<std::size_t>(P));
  for (std::int64_t e = 0; e < o.events; ++e) {
    int code = -1;
    bool doublet = false;
    const double kind = rng.Uniform();
    if (kind >= kNoiseShare + kDoubletShare) {
      const int well = rng.Below(96);
      code = well2code[well / 12][well % 12];
      ++sum.wellEvents;
    } else if (kind >= kNoiseShare) {
      for (int attempt = 0; attempt < 20 && code < 0; ++attempt) {
        const int a = rng.Below(96), b = rng.Below(96);
        const int c = well2code[a / 12][a % 12] | well2code[b / 12][b % 12];
        if (code2well[c].col < 0) code = c;
      }
      doublet = code >= 0;
    }
    if (code < 0) {
      code = trash[static_cast<std::size_t>(rng.Below(static_cast<int>(trash.size())))];
      ++sum.noiseEvents;
    } else if (doublet) {
      ++sum.doubletEvents;
    }
    for (int p = 0; p < P; ++p) {
      const int r = role[static_cast<std::size_t>(p)];
      double v;
      if (r >= 1) {
        const bool on = (code >> (r - 1)) & 1;
        v = on ? rng.LogNormal(onMedian[static_cast<std::size_t>(r - 1)], kOnSigma)
               : rng.LogNormal(kOffMedian, kOffSigma);
        if (doublet) v *= 1.5;
      } else if (r == -2) {
        v = static_cast<double>(e) * timeStep;
      } else if (r == -3) {
        v = code;
      } else if (r == -4) {
        v = std::max(10.0, std::nearbyint(22 + 4 * rng.Normal()) * (doublet ? 1.6 : 1.0));
      } else {
        v = rng.LogNormal(medians[static_cast<std::size_t>(p)], 1.0);
      }
      row[static_cast<std::size_t>(p)] = v;
    }
    switch (o.datatype) {
      case 'F':
        for (int p = 0; p < P; ++p) frow[static_cast<std::size_t>(p)] = static_cast<float>(row[static_cast<std::size_t>(p)]);
        w.WriteData(frow);
        break;
      case 'I':
        for (double v : row) w.Write16(static_cast<std::uint16_t>(std::clamp(std::nearbyint(v), 0.0, 65535.0)));
        break;
      default:
        for (double v : row) w.Write64(std::bit_cast<std::uint64_t>(v));
        break;
    }
  }
  w.EndData(o.events);
  return sum;
}

PlateAccuracy MeasureAccuracy(const TByteVector& codes, const TByteVector& ambiguous,
                              const TSingleVector& trueCodes) {
  BuildPlateTables();
  if (trueCodes.size() < codes.size() || (!ambiguous.empty() && ambiguous.size() != codes.size()))
    throw Exception("MeasureAccuracy: one intended code and one ambiguity per code expected");
  std::int64_t placed = 0, right = 0, meant = 0;
  for (std::size_t i = 0; i < codes.size(); ++i) {
    const float t = trueCodes[i];
    const int truth = t >= 0 && t < kCodeCount ? static_cast<int>(t) : -1;
    if (truth >= 0 && code2well[truth].col >= 0) ++meant;
    if ((!ambiguous.empty() && ambiguous[i] != 0) || code2well[codes[i] & 0x7F].col < 0) continue;
    ++placed;
    if (codes[i] == truth) ++right;
  }
  PlateAccuracy a;
  if (placed > 0) a.precision = 100.0 * static_cast<double>(right) / static_cast<double>(placed);
  if (meant > 0) a.yield = 100.0 * static_cast<double>(right) / static_cast<double>(meant);
  return a;
}

}  // namespace dbc
