#include "app/export_text.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "fcs/key_lookup.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

std::string ParKey(int number, const char* suffix) { return "$P" + std::to_string(number) + suffix; }

// A parameter key: optional "$" or "@", "P" (either case), decimal digits
// and any suffix. On a match, [numberStart, numberEnd) holds the digits.
bool ParseParKey(std::string_view key, std::size_t& numberStart, std::size_t& numberEnd,
                 std::int64_t& number) {
  std::size_t i = 0;
  if (i < key.size() && (key[i] == '$' || key[i] == '@')) ++i;
  if (i >= key.size() || (key[i] != 'P' && key[i] != 'p')) return false;
  numberStart = ++i;
  number = 0;
  while (i < key.size() && key[i] >= '0' && key[i] <= '9') {
    number = number * 10 + (key[i] - '0');
    if (number > INT32_MAX) return false;  // no parameter has such a number
    ++i;
  }
  numberEnd = i;
  return numberEnd > numberStart;
}

// "$PnR" text: the smallest whole number >= v, at least 1. A v that lies
// within rounding of a whole number (0.1024 * 10^4) is that number.
std::string RangeText(double v) {
  if (!(v >= 1)) return "1";
  v = std::min(v, static_cast<double>(FLT_MAX));
  const double whole = std::round(v);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.0f", std::fabs(v - whole) <= 1e-9 * v ? whole : std::ceil(v));
  return buf;
}

double ParseDouble(const std::string& s, bool& ok) {
  try {
    return static_cast<double>(StringToFloat(s));
  } catch (const Exception&) {
    ok = false;
    return 0;
  }
}

// Sets keys of a store through one index over its keys (ASCII case
// ignored): replaces the first pair of a key, or appends the pair.
class KeySetter {
 public:
  explicit KeySetter(TPreText& t) : t_(t) {
    for (std::size_t i = 0; i < t.keys.size(); ++i) index_.emplace(UpperAscii(t.keys[i]), i);
  }
  bool Has(std::string_view key) const { return index_.count(UpperAscii(key)) > 0; }
  void Set(std::string_view key, std::string value) {
    const auto [it, added] = index_.emplace(UpperAscii(key), t_.keys.size());
    if (added) {
      t_.keys.emplace_back(key);
      t_.Values.push_back(std::move(value));
    } else {
      t_.Values[it->second] = std::move(value);
    }
  }
  void SetWhenMissing(std::string_view key, std::string value) {
    if (!Has(key)) Set(key, std::move(value));
  }

 private:
  TPreText& t_;
  std::unordered_map<std::string, std::size_t> index_;
};

// The data are 32-bit floats when "$DATATYPE" is F and every parameter has
// "$PnB" 32.
bool HoldsFloat32(const TKeyLookup& lookup, int parcount) {
  if (!SameTextAscii(Trim(lookup.Get("$DATATYPE")), "F")) return false;
  for (int n = 1; n <= parcount; ++n)
    if (Trim(lookup.Get(ParKey(n, "B"))) != "32") return false;
  return true;
}

std::string FileNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The parameter (0-based) each spillover reference names, or -1.
std::vector<int> ByNumber(const StringArray& fields, std::size_t n, int parcount) {
  std::vector<int> refs(n, -1);
  for (std::size_t i = 0; i < n; ++i) {
    try {
      const std::int64_t number = StrToInt64(Trim(fields[i + 1]));
      if (number < 1 || number > parcount) return {};
      refs[i] = static_cast<int>(number - 1);
    } catch (const Exception&) {
      return {};
    }
  }
  return refs;
}

std::vector<int> ByName(const TPreText& source, int parcount, const StringArray& fields, std::size_t n) {
  // The first parameter of each short name (trimmed, ASCII case ignored).
  const TKeyLookup lookup(source);
  std::unordered_map<std::string, int> names;
  for (int p = 0; p < parcount; ++p) names.emplace(UpperAscii(Trim(lookup.Get(ParKey(p + 1, "N")))), p);
  std::vector<int> refs(n, -1);
  for (std::size_t i = 0; i < n; ++i) {
    const auto it = names.find(UpperAscii(Trim(fields[i + 1])));
    if (it == names.end()) return {};
    refs[i] = it->second;
  }
  return refs;
}

}  // namespace

float TLogToLinear::operator()(float x) const noexcept {
  return static_cast<float>(offset * std::pow(10.0, decades * static_cast<double>(x) / range));
}

std::vector<TParameterOutput> ParameterOutputs(const TPreText& source, int parcount,
                                               const TSingleMatrix& data, std::size_t events) {
  const TKeyLookup lookup(source);
  const std::string datatype = UpperAscii(Trim(lookup.Get("$DATATYPE")));
  // Integer and ASCII data hold channel numbers; float data hold values.
  const bool channels = datatype != "F" && datatype != "D";
  std::vector<TParameterOutput> out(static_cast<std::size_t>(std::max(parcount, 0)));
  for (int p = 0; p < parcount; ++p) {
    TParameterOutput& o = out[static_cast<std::size_t>(p)];
    const int n = p + 1;
    // The largest finite value of the column (0 without one), read only
    // for the parameters whose range it sets.
    auto top = [&] {
      float t = 0;
      if (static_cast<std::size_t>(p) >= data.size()) return t;
      const TSingleVector& column = data[static_cast<std::size_t>(p)];
      const std::size_t count = std::min(events, column.size());
      bool any = false;
      for (std::size_t e = 0; e < count; ++e)
        if (std::isfinite(column[e]) && (!any || column[e] > t)) {
          t = column[e];
          any = true;
        }
      return t;
    };

    std::int64_t range = 0;
    const std::string r = Trim(lookup.Get(ParKey(n, "R")));
    try {
      range = r.empty() ? 0 : StrToInt64(r);
    } catch (const Exception&) {
      range = 0;
    }

    const StringArray e = SplitByCharSet(lookup.Get(ParKey(n, "E")), CommaSet());
    bool ok = !e.empty();
    const double f1 = ok ? ParseDouble(e[0], ok) : 0;
    double f2 = e.size() >= 2 ? ParseDouble(e[1], ok) : 1.0;
    if (ok && std::isfinite(f1) && f1 > 0) {
      if (!channels) {
        o.linearE = true;
      } else {
        // Without "$PnR", integer channels span the bits of "$PnB".
        std::int64_t span = range;
        if (span <= 0 && datatype == "I") {
          std::int64_t bits = 0;
          try {
            bits = StrToInt64(Trim(lookup.Get(ParKey(n, "B"))));
          } catch (const Exception&) {
          }
          if (bits >= 1 && bits <= 62) span = std::int64_t{1} << bits;
        }
        if (span > 0) {
          if (!(std::isfinite(f2) && f2 > 0)) f2 = 1.0;
          o.linear = TLogToLinear{f1, f2, static_cast<double>(span)};
          o.linearE = true;
          // The conversion rises with x: the largest value gives the largest.
          o.range = RangeText(std::max(f2 * std::pow(10.0, f1), static_cast<double>((*o.linear)(top()))));
        }
      }
    }
    if (o.range.empty() && r.empty()) o.range = RangeText(std::floor(static_cast<double>(top())) + 1);
    if (Trim(lookup.Get(ParKey(n, "N"))).empty()) o.name = "nn" + std::to_string(p);
  }
  return out;
}

std::optional<std::string> RestrictSpillover(const TPreText& source, int parcount,
                                             const std::string& key, const std::string& value,
                                             const std::vector<int>& newNumber) {
  const StringArray fields = SplitByString(value, ",");
  std::int64_t count = -1;
  try {
    count = StrToInt64(Trim(fields.at(0)));
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (count <= 0 || count > static_cast<std::int64_t>(fields.size())) return std::nullopt;
  const auto n = static_cast<std::size_t>(count);
  const bool spill = SameTextAscii(key, "SPILL");
  const bool comp = SameTextAscii(key, "$COMP");
  std::vector<int> refs;
  bool numbers = false;
  if (fields.size() >= 1 + n + n * n) {
    if (!spill) {
      refs = ByNumber(fields, n, parcount);
      numbers = !refs.empty();
    }
    if (refs.empty()) refs = ByName(source, parcount, fields, n);
  }
  // FCS 3.0's "$COMP" holds only the coefficients: row and column i are
  // parameter i + 1.
  const bool positional = refs.empty() && comp && fields.size() == 1 + n * n &&
                          count <= static_cast<std::int64_t>(parcount);
  if (positional)
    for (std::size_t i = 0; i < n; ++i) refs.push_back(static_cast<int>(i));
  if (refs.empty()) return std::nullopt;

  std::vector<std::size_t> kept;
  for (std::size_t i = 0; i < n; ++i)
    if (newNumber[static_cast<std::size_t>(refs[i])] > 0) kept.push_back(i);
  if (kept.empty()) return std::nullopt;
  const std::size_t first = positional ? 1 : 1 + n;  // first coefficient
  StringArray out{std::to_string(kept.size())};
  if (!positional)
    for (std::size_t i : kept)
      out.push_back(numbers ? std::to_string(newNumber[static_cast<std::size_t>(refs[i])]) : fields[i + 1]);
  for (std::size_t i : kept)
    for (std::size_t j : kept) out.push_back(fields[first + i * n + j]);
  return JoinWithChar(out, ',');
}

TPreText OutputText(const TPreText& source, int parcount, const TIntVector& keep,
                    const std::vector<TParameterOutput>& params, const std::string& well,
                    const std::string& sourceName) {
  std::vector<int> newNumber(static_cast<std::size_t>(std::max(parcount, 0)), 0);
  for (std::size_t k = 0; k < keep.size(); ++k) newNumber[static_cast<std::size_t>(keep[k])] = static_cast<int>(k) + 1;
  const bool removed = keep.size() < newNumber.size();

  TPreText out(false);
  out.Delim = source.Delim;
  out.keys.reserve(source.keys.size());
  out.Values.reserve(source.keys.size());
  std::unordered_set<std::string> seen;
  for (std::size_t i = 0; i < source.keys.size(); ++i) {
    std::string key = source.keys[i];
    std::size_t from = 0, to = 0;
    std::int64_t number = 0;
    if (ParseParKey(key, from, to, number) && number >= 1 && number <= parcount) {
      const int renumbered = newNumber[static_cast<std::size_t>(number - 1)];
      if (renumbered == 0) continue;
      key = key.substr(0, from) + std::to_string(renumbered) + key.substr(to);
    }
    if (!seen.insert(UpperAscii(key)).second) continue;  // a repeat: the first value stands
    std::string value = source.Values[i];
    if (removed && (SameTextAscii(key, "$SPILLOVER") || SameTextAscii(key, "SPILL") ||
                    SameTextAscii(key, "$COMP"))) {
      const auto restricted = RestrictSpillover(source, parcount, key, value, newNumber);
      if (!restricted) continue;
      value = *restricted;
    }
    out.keys.push_back(std::move(key));
    out.Values.push_back(std::move(value));
  }

  const TKeyLookup lookup(source);
  const bool float32 = HoldsFloat32(lookup, parcount);
  KeySetter set(out);
  set.Set("$PAR", std::to_string(keep.size()));
  set.Set("$BYTEORD", "1,2,3,4");
  if (!float32) set.Set("$DATATYPE", "F");
  if (UpperAscii(Trim(lookup.Get("$MODE"))).rfind('L', 0) != 0) set.Set("$MODE", "L");
  set.Set("$NEXTDATA", "0");
  for (const char* key : {"$BEGINSTEXT", "$ENDSTEXT", "$BEGINANALYSIS", "$ENDANALYSIS"}) set.Set(key, "0");
  for (std::size_t k = 0; k < keep.size(); ++k) {
    const int n = static_cast<int>(k) + 1;
    const TParameterOutput& o = params.at(static_cast<std::size_t>(keep[k]));
    if (!float32) set.Set(ParKey(n, "B"), "32");
    if (o.linearE)
      set.Set(ParKey(n, "E"), "0,0");
    else
      set.SetWhenMissing(ParKey(n, "E"), "0,0");
    if (!o.range.empty()) set.Set(ParKey(n, "R"), o.range);
    if (!o.name.empty()) set.Set(ParKey(n, "N"), o.name);
  }
  set.Set(kWellKeyword, well);
  const std::string name = FileNameOf(sourceName);
  if (!name.empty()) set.Set(kSourceKeyword, name);
  return out;
}

}  // namespace dbc
