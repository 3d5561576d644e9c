#include "fcs/pretext.h"

#include <cstdint>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "util/errors.h"

namespace dbc {

namespace {

std::string ParKey(int number, std::string_view suffix) {
  return "$P" + std::to_string(number) + std::string(suffix);
}

// The number m of a key that matches "$P" + m + "N" (ASCII case ignored),
// or -1.
int ShortNameKeyNumber(std::string_view key) {
  if (key.size() < 4 || key[0] != '$' || (key[1] != 'P' && key[1] != 'p') ||
      (key.back() != 'N' && key.back() != 'n') || key[2] == '0')
    return -1;
  std::int64_t m = 0;
  for (std::size_t i = 2; i + 1 < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return -1;
    m = m * 10 + (key[i] - '0');
    if (m > INT32_MAX) return -1;
  }
  return static_cast<int>(m);
}

// For every short name (trimmed, ASCII letters upper-cased) the index of
// the first parameter that has it, as ParIndByName finds it: one pass over
// the keys instead of one lookup per parameter, which made reading a
// "SPILL" keyword cubic in the size of the TEXT.
std::unordered_map<std::string, int> ShortNameIndex(const TPreText& t) {
  const int n = t.ParCount();
  std::unordered_set<int> seen;  // parameters whose first N key was met
  std::unordered_map<std::string, int> index;
  for (std::size_t k = 0; k < t.keys.size(); ++k) {
    const int m = ShortNameKeyNumber(t.keys[k]);
    if (m < 1 || m > n || !seen.insert(m).second) continue;
    const auto [it, added] = index.emplace(UpperAscii(Trim(t.Values[k])), m - 1);
    if (!added && m - 1 < it->second) it->second = m - 1;
  }
  // A parameter without an N key has the empty name.
  int missing = 1;
  while (missing <= n && seen.count(missing) > 0) ++missing;
  if (missing <= n) {
    const auto [it, added] = index.emplace(std::string(), missing - 1);
    if (!added && missing - 1 < it->second) it->second = missing - 1;
  }
  return index;
}

// Removes the pairs marked in drop, keeping the others in order, in one
// pass.
void RemovePairs(StringArray& keys, StringArray& values, const std::vector<bool>& drop) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (drop[i]) continue;
    if (kept != i) {
      keys[kept] = std::move(keys[i]);
      values[kept] = std::move(values[i]);
    }
    ++kept;
  }
  keys.resize(kept);
  values.resize(kept);
}

int FindIndex(const std::unordered_map<std::string, int>& index, std::string_view pname) {
  const auto it = index.find(UpperAscii(pname));
  return it == index.end() ? -1 : it->second;
}

}  // namespace

// --- the store ---

int TPreText::KeyIndex(std::string_view key) const noexcept {
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (SameTextAscii(keys[i], key)) return static_cast<int>(i);
  return -1;
}

std::string TPreText::GetValue(std::string_view key) const {
  const int i = KeyIndex(key);
  return i < 0 ? std::string() : Values[static_cast<std::size_t>(i)];
}

void TPreText::SetValue(std::string_view key, std::string_view value) {
  const int i = KeyIndex(key);
  if (i >= 0) {
    Values[static_cast<std::size_t>(i)] = std::string(value);
  } else {
    keys.emplace_back(key);
    Values.emplace_back(value);
  }
}

void TPreText::Add(std::string_view akey, std::string_view aValue) { SetValue(akey, aValue); }

void TPreText::Insert(int Ind, std::string_view akey, std::string_view avalue) {
  const int i = KeyIndex(akey);
  if (i >= 0) {
    Values[static_cast<std::size_t>(i)] = std::string(avalue);
    return;
  }
  if (Ind < 0 || Ind > count()) throw EListError("List index out of bounds (" + std::to_string(Ind) + ")");
  keys.insert(keys.begin() + Ind, std::string(akey));
  Values.insert(Values.begin() + Ind, std::string(avalue));
}

void TPreText::DeleteKey(std::string_view parname) {
  const int i = KeyIndex(parname);
  if (i < 0) return;
  keys.erase(keys.begin() + i);
  Values.erase(Values.begin() + i);
}

void TPreText::Assign(const TPreText& txt) {
  Decimate = txt.Decimate;
  Delim = txt.Delim;
  // Copy first: assigning a store into itself appends its own pairs once.
  const StringArray k = txt.keys, v = txt.Values;
  keys.insert(keys.end(), k.begin(), k.end());
  Values.insert(Values.end(), v.begin(), v.end());
}

void TPreText::WriteEscaped(std::string& out, std::string_view item) const {
  // An empty item cannot be written (two delimiters are an escape); a
  // leading delimiter would double the one in front of the item. Both get a
  // blank, which a reader trims.
  if (item.empty() || item.front() == Delim) out += ' ';
  for (char c : item) {
    out += c;
    if (c == Delim) out += c;  // a delimiter inside an item is written twice
  }
}

std::string TPreText::Serialize() const {
  std::string out(1, Delim);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    WriteEscaped(out, keys[i]);
    out += Delim;
    WriteEscaped(out, Values[i]);
    out += Delim;
  }
  return out;
}

void TPreText::WriteTo(std::ostream& f) const {
  const std::string bytes = Serialize();
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int TPreText::Size() const { return static_cast<int>(Serialize().size()); }

// --- parameter keywords ---

int TPreText::ParNumOfKey(std::string_view key) {
  if (key.size() < 2 || key[0] != '$' || (key[1] != 'P' && key[1] != 'p')) return -1;
  std::size_t end = 2;
  while (end < key.size() && key[end] >= '0' && key[end] <= '9') ++end;
  if (end == 2) return -1;
  return StrToInt(key.substr(2, end - 2));
}

int TPreText::ParCount() const noexcept {
  try {
    const int par = StrToInt(Trim(GetValue("$PAR")));
    if (par > 0) return par;
    int highest = 0;
    for (const auto& key : keys) highest = std::max(highest, ParNumOfKey(key));
    return highest;
  } catch (...) {
    return 0;
  }
}

std::string TPreText::ParShortName(int n) const { return Trim(GetValue(ParKey(n + 1, "N"))); }
std::string TPreText::ParLongName(int n) const { return Trim(GetValue(ParKey(n + 1, "S"))); }

std::string TPreText::ParSomeName(int n) const {
  const std::string shortName = ParShortName(n);
  const std::string longName = ParLongName(n);
  if (shortName == longName || longName.empty()) return shortName;
  const std::string lower = LowerAscii(shortName);
  if (lower.find("lin") != std::string::npos) return "Lin " + longName;
  if (lower.find("log") != std::string::npos) return "Log " + longName;
  return longName;
}

int TPreText::ParIndByName(std::string_view pname) const { return FindIndex(ShortNameIndex(*this), pname); }

StringArray TPreText::ParOfParNames() const {
  TUniqueList suffixes(false);
  for (const auto& key : keys) {
    const StringArray pieces = SplitByCharSet(key, DigitSet());
    if (pieces.size() < 2) continue;
    if (pieces[0] == "$P" || pieces[0] == "P") suffixes.Add(pieces[1]);
  }
  return suffixes.Strings();
}

std::string TPreText::ParOfParValue(int pnum, std::string_view ppname) const {
  std::string value = GetValue(ParKey(pnum, ppname));
  if (value.empty()) value = GetValue("P" + std::to_string(pnum) + std::string(ppname));
  return value;
}

// In one pass that keeps the other pairs in order: erasing pair by pair
// moves the rest of the store each time, which is quadratic on a large TEXT
// whose keys of parameter n are spread through it. The numbers are read
// first, so that a key whose number is too large raises before anything is
// removed.
void TPreText::DeletePar(int n) {
  std::vector<bool> drop(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) drop[i] = ParNumOfKey(keys[i]) == n;
  RemovePairs(keys, Values, drop);
}

// Gives every key of a parameter m > n the number m - 1. The key keeps its
// own "$P" spelling and the suffix up to the next digit; a key of "$P" and
// digits alone keeps only the new number.
void TPreText::RenumberAbove(int n) {
  for (auto& key : keys) {
    const int m = ParNumOfKey(key);
    if (m <= n) continue;
    const StringArray pieces = SplitByCharSet(key, DigitSet());
    key = pieces[0] + std::to_string(m - 1) + (pieces.size() > 1 ? pieces[1] : std::string());
  }
}

void TPreText::DeleteParam(int n) {
  DeletePar(n);
  // The matrix names parameters by number, which no longer holds once they
  // are renumbered; a text that repeats the keyword must not keep a copy.
  std::vector<bool> spill(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) spill[i] = SameTextAscii(keys[i], "$SPILLOVER");
  RemovePairs(keys, Values, spill);
  RenumberAbove(n);
  const int par = StrToInt(GetValue("$PAR"));
  SetValue("$PAR", std::to_string(static_cast<long long>(par) - 1));
}

void TPreText::AddTip(int aparcount) {
  const std::string s = "P" + std::to_string(aparcount);
  const std::size_t L = s.size();
  int i = -1;
  for (int k = count() - 1; k >= 0; --k) {
    const std::string upper = UpperAscii(keys[static_cast<std::size_t>(k)]);
    if (upper.compare(0, L, s) == 0 && upper.size() >= L) { i = k; break; }
    if (upper.size() >= L + 1 && upper.compare(1, L, s) == 0) { i = k; break; }
  }
  const std::string t = "$P" + std::to_string(static_cast<long long>(aparcount) + 1);
  const std::pair<std::string, std::string> pairs[] = {{t + "B", "16"}, {t + "R", "1024"}, {t + "N", "TIP"}};
  for (const auto& [key, value] : pairs) {
    if (i <= 0) Add(key, value);
    else Insert(i + 1, key, value);
  }
  SetValue("$PAR", std::to_string(static_cast<long long>(aparcount) + 1));
}

void TPreText::FixCyanTime(int TimeParNum) {
  const int t = TimeParNum;
  SetValue(ParKey(t, "B"), "32");
  SetValue(ParKey(t, "R"), "4294967296");
  SetValue(ParKey(t, "N"), "TIME");
  SetValue(ParKey(t, "S"), "TIME");
  DeletePar(t + 1);
  RenumberAbove(t);

  const std::string spill = GetValue("$SPILLOVER");
  if (spill.empty()) return;
  StringArray fields = SplitByString(spill, ",");
  const int n = StrToInt(fields[0]);
  // A value too short for its announced references is left as it is.
  if (n > 0 && static_cast<std::size_t>(n) >= fields.size()) return;
  for (int i = 1; i <= n; ++i) {
    const int b = StrToInt(fields[static_cast<std::size_t>(i)]);
    if (b > t) fields[static_cast<std::size_t>(i)] = std::to_string(b - 1);
  }
  SetValue("$SPILLOVER", JoinWithChar(fields, ','));
}

bool TPreText::IsCyanSummit() const {
  const std::string sys = GetValue("$SYS");
  return SameTextAscii(GetValue("$CYT"), "CyAn") && sys.size() >= 6 &&
         SameTextAscii(std::string_view(sys).substr(0, 6), "Summit");
}

void TPreText::ReadSpillover(TIntVector& indices, TMatrix& matrix) const {
  matrix.clear();
  std::string value = GetValue("$SPILLOVER");
  bool byName = false;
  if (value.empty()) {
    value = GetValue("SPILL");
    byName = true;
    if (value.empty()) return;
  }
  try {
    const StringArray fields = SplitByString(value, ",");
    const std::int64_t n = StrToInt(fields.at(0));
    // Check the field count before sizing anything from n.
    if (n < 0 || static_cast<std::int64_t>(fields.size()) < 1 + n + n * n)
      throw Exception("Error Reading Spillover Matrix");
    const auto size = static_cast<std::size_t>(n);
    TIntVector inds(size);
    const auto names = byName ? ShortNameIndex(*this) : std::unordered_map<std::string, int>();
    for (std::size_t i = 0; i < size; ++i) {
      const std::string& ref = fields[i + 1];
      if (byName) {
        inds[i] = FindIndex(names, ref);
        if (inds[i] < 0) throw Exception("Error reading SPILL table");
      } else {
        const std::int64_t number = StrToInt(ref);
        if (number - 1 < INT32_MIN) throw Exception("Error Reading Spillover Matrix");
        inds[i] = static_cast<std::int32_t>(number - 1);
      }
    }
    indices = std::move(inds);
    TMatrix m(size, TVector(size));
    std::size_t next = size + 1;
    for (std::size_t r = 0; r < size; ++r)
      for (std::size_t c = 0; c < size; ++c) m[r][c] = static_cast<double>(StringToFloat(fields[next++]));
    for (std::size_t r = 0; r < size; ++r) m[r][r] = 1.0;
    matrix = std::move(m);
  } catch (...) {
    matrix.clear();
    throw Exception("Error Reading Spillover Matrix");
  }
}

}  // namespace dbc
