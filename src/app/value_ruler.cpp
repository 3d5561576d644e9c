#include "app/value_ruler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <iterator>
#include <set>

#include "stats/log_scale.h"

namespace dbc {

namespace {

// Marks closer than this share of the axis to the one before are left out:
// near the low end of a log scale the small decades crowd into a few pixels.
constexpr double kMinSpacing = 1.0 / 400;
// The ruler looks this many decades below the largest value it could show.
constexpr int kDecadesShown = 12;

// A mark and how much it matters where marks crowd: 0 most, then the
// larger decades, then the minor marks.
struct Candidate {
  RulerTick tick;
  double weight;
};

void AddLogTicks(const TScale& s, double xmin, double xmax, std::vector<Candidate>& ticks) {
  const double lo = s.minval, hi = s.maxval;
  auto add = [&](double v, std::string label, bool major) {
    if (v < lo || v > hi) return;
    const double x = LogScaleValue(v, s);
    const double weight = v == 0 ? std::numeric_limits<double>::infinity() : major ? std::abs(v) : -1.0;
    if (std::isfinite(x) && x >= xmin && x <= xmax) ticks.push_back({{x, std::move(label), major}, weight});
  };
  add(0.0, "0", true);
  const double largest = std::max(std::abs(lo), std::abs(hi));
  if (!(largest > 0) || !std::isfinite(largest)) return;
  const int top = static_cast<int>(std::floor(std::log10(largest)));
  for (int k = top - kDecadesShown; k <= top; ++k) {
    const double p = std::pow(10.0, k);
    for (const bool negative : {false, true}) {
      const double sign = negative ? -1.0 : 1.0;
      add(sign * p, DecadeLabel(k, negative), true);
      for (int m = 2; m <= 9; ++m) add(sign * m * p, {}, false);
    }
  }
}

std::string NumberText(double v) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

void AddLinearTicks(double xmin, double xmax, std::vector<Candidate>& ticks) {
  const double span = xmax - xmin;
  if (!(span > 0) || !std::isfinite(span)) return;
  const double raw = span / 8;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double step = magnitude;
  for (const double f : {1.0, 2.0, 5.0, 10.0})
    if (f * magnitude >= raw) {
      step = f * magnitude;
      break;
    }
  for (double i = std::ceil(xmin / step); i * step <= xmax; i += 1) {
    const double x = i == 0 ? 0.0 : i * step;
    ticks.push_back({{x, NumberText(x), true}, 0.0});
  }
}

}  // namespace

std::string DecadeLabel(int exponent, bool negative) {
  static const char* const kSuperscript[] = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
  std::string label = negative ? "-10" : "10";
  if (exponent < 0) label += "⁻";
  const std::string digits = std::to_string(std::abs(exponent));
  for (const char d : digits) label += kSuperscript[d - '0'];
  return label;
}

std::vector<RulerTick> RulerTicks(const std::optional<TScale>& scale, double xmin, double xmax) {
  std::vector<Candidate> candidates;
  if (!(xmax >= xmin)) return {};
  if (scale)
    AddLogTicks(*scale, xmin, xmax, candidates);
  else
    AddLinearTicks(xmin, xmax, candidates);
  // The weightiest marks take their places first; a mark too close to one
  // already placed is left out.
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.weight > b.weight; });
  const double gap = (xmax - xmin) * kMinSpacing;
  std::set<double> taken;
  std::vector<RulerTick> kept;
  for (Candidate& c : candidates) {
    const double x = c.tick.x;
    const auto next = taken.lower_bound(x);
    if (next != taken.end() && *next - x < gap) continue;
    if (next != taken.begin() && x - *std::prev(next) < gap) continue;
    taken.insert(x);
    kept.push_back(std::move(c.tick));
  }
  std::sort(kept.begin(), kept.end(), [](const RulerTick& a, const RulerTick& b) { return a.x < b.x; });
  return kept;
}

}  // namespace dbc
