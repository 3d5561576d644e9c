#include "util/text.h"

#include <charconv>
#include <limits>

#include "util/errors.h"

namespace dbc {

namespace {

char UpperChar(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char LowerChar(char c) noexcept { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n;
  std::uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1Fu; }
  else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0Fu; }
  else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07u; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3Fu);
  }
  // Overlong forms, surrogates and values above U+10FFFF are not UTF-8.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

CharSet MakeSet(std::string_view members) {
  CharSet s;
  for (char c : members) s.set(static_cast<unsigned char>(c));
  return s;
}

[[noreturn]] void ThrowNotInteger(std::string_view s) {
  throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

// Skips leading blanks and an optional sign; true when the sign is '-'.
bool SkipBlanksAndSign(std::string_view s, std::size_t& i) {
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) return s[i++] == '-';
  return false;
}

template <class Int>
Int ParseInteger(std::string_view s) {
  std::size_t i = 0;
  const bool negative = SkipBlanksAndSign(s, i);
  if (i == s.size()) ThrowNotInteger(s);
  // Accumulate as a negative number so that the minimum value fits.
  Int value = 0;
  for (std::size_t k = i; k < s.size(); ++k) {
    if (!IsDigit(s[k])) ThrowNotInteger(s);
    const Int digit = static_cast<Int>(s[k] - '0');
    if (value < (std::numeric_limits<Int>::min() + digit) / 10) ThrowNotInteger(s);
    value = static_cast<Int>(value * 10 - digit);
  }
  if (!negative) {
    if (value == std::numeric_limits<Int>::min()) ThrowNotInteger(s);
    value = static_cast<Int>(-value);
  }
  return value;
}

}  // namespace

const CharSet& DigitSet() {
  static const CharSet set = MakeSet("0123456789");
  return set;
}

const CharSet& CommaSet() {
  static const CharSet set = MakeSet(",");
  return set;
}

void SwapBytes(std::uint8_t& a, std::uint8_t& b) noexcept {
  const std::uint8_t t = a;
  a = b;
  b = t;
}

int AppendToStringArray(StringArray& arr, std::string s) {
  arr.push_back(std::move(s));
  return static_cast<int>(arr.size()) - 1;
}

int FindSubstring(std::string_view pattern, std::string_view s, int start, bool exact) {
  const int n = static_cast<int>(s.size());
  const int m = static_cast<int>(pattern.size());
  if (n == 0 || m == 0 || n < m || n < start) return 0;
  if (start < 1) start = 1;
  for (int p = start; p <= n - m + 1; ++p) {
    bool same = true;
    for (int k = 0; k < m && same; ++k) {
      const char a = s[static_cast<std::size_t>(p - 1 + k)];
      const char b = pattern[static_cast<std::size_t>(k)];
      same = exact ? a == b : LowerChar(a) == LowerChar(b);
    }
    if (same) return p;
  }
  return 0;
}

std::string CopyRange(std::string_view s, int from, int to) {
  const int n = static_cast<int>(s.size());
  if (s.empty() || from > to || to < 1 || from > n) return {};
  if (from < 1) from = 1;
  if (to > n) to = n;
  return std::string(s.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(to - from + 1)));
}

std::string CopyToEnd(std::string_view s, int from) {
  if (from <= 1) return std::string(s);
  if (s.empty() || from > static_cast<int>(s.size())) return {};
  return std::string(s.substr(static_cast<std::size_t>(from - 1)));
}

StringArray SplitByString(std::string_view s, std::string_view d) {
  if (s.empty()) return {};
  if (d.empty()) return {std::string(s)};
  const int step = static_cast<int>(d.size());
  int k = 0;
  for (int p = FindSubstring(d, s, 1, true); p > 0; p = FindSubstring(d, s, p + step, true)) ++k;
  StringArray result(static_cast<std::size_t>(k) + 1);
  int start = 1;
  std::size_t i = 0;
  for (int p = FindSubstring(d, s, 1, true); p > 0; p = FindSubstring(d, s, p + step, true)) {
    result[i++] = CopyRange(s, start, p - 1);
    start = p + step;
  }
  result[i] = CopyToEnd(s, start);
  return result;
}

StringArray SplitByCharSet(std::string_view s, const CharSet& set) {
  StringArray result;
  std::size_t start = 0;
  std::size_t len = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (set.test(static_cast<unsigned char>(s[i]))) {
      if (len > 0) AppendToStringArray(result, std::string(s.substr(start, len)));
      start = i + 1;
      len = 0;
    } else {
      ++len;
    }
  }
  if (len > 0) AppendToStringArray(result, std::string(s.substr(start, len)));
  return result;
}

std::string JoinWithChar(const StringArray& items, char sep) {
  if (items.empty()) return {};
  std::size_t total = items.size() - 1;
  for (const auto& item : items) total += item.size();
  std::string result;
  result.reserve(total);
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) result += sep;
    result += items[i];
  }
  return result;
}

std::string PadWithZeros(std::string s, int width) {
  if (width > 0 && static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

long double StringToFloat(std::string_view s) {
  static const char* const kMessage = "Error Converting Floting point string";
  std::size_t i = 0;
  const bool negative = SkipBlanksAndSign(s, i);
  const std::size_t number = i;
  std::size_t intDigits = 0, fracDigits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++intDigits;
  bool point = false;
  if (i < s.size() && s[i] == '.') {
    point = true;
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++fracDigits;
  }
  if (intDigits == 0 && !point) throw Exception(kMessage);
  const std::size_t mantissaEnd = i;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++expDigits;
    if (expDigits == 0) throw Exception(kMessage);
  }
  if (i != s.size()) throw Exception(kMessage);
  // A lone point (no digits on either side) reads as 0.
  if (intDigits == 0 && fracDigits == 0) {
    if (mantissaEnd != s.size()) throw Exception(kMessage);
    return negative ? -0.0L : 0.0L;
  }
  long double value = 0;
  const char* first = s.data() + number;
  const char* last = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
  if (ec != std::errc() || ptr != last) throw Exception(kMessage);
  return negative ? -value : value;
}

std::int32_t StrToInt(std::string_view s) { return ParseInteger<std::int32_t>(s); }
std::int64_t StrToInt64(std::string_view s) { return ParseInteger<std::int64_t>(s); }

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return std::string(s.substr(b, e - b));
}

std::string UpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperChar(c);
  return r;
}

std::string LowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerChar(c);
  return r;
}

bool SameTextAscii(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

bool StartsWith(std::string_view s, std::string_view prefix) noexcept { return s.substr(0, prefix.size()) == prefix; }

int TUniqueList::AddObject(const std::string& S, void* AObject) {
  for (const auto& existing : strings_) {
    if (FCaseIndifferent ? SameTextAscii(existing, S) : existing == S) return -1;
  }
  strings_.push_back(S);
  objects_.push_back(AObject);
  return Count() - 1;
}

void TUniqueList::AddStrings(const TUniqueList& Strings) {
  for (int i = 0; i < Strings.Count(); ++i) AddObject(Strings[i], Strings.Objects(i));
}

void TUniqueList::SetCaseIndifferent(bool value) {
  if (value == FCaseIndifferent) return;
  FCaseIndifferent = value;
  if (!value || strings_.empty()) return;
  TUniqueList temp(false);
  temp.AddStrings(*this);
  Clear();
  AddStrings(temp);
}

void TUniqueList::Insert(int i, const std::string& S, void* AObject) {
  if (i < 0 || i > Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  strings_.insert(strings_.begin() + i, S);
  objects_.insert(objects_.begin() + i, AObject);
}

void TUniqueList::Delete(int i) {
  if (i < 0 || i >= Count()) throw EListError("List index out of bounds (" + std::to_string(i) + ")");
  strings_.erase(strings_.begin() + i);
  objects_.erase(objects_.begin() + i);
}

void TUniqueList::Clear() noexcept {
  strings_.clear();
  objects_.clear();
}

std::string BytesToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = Utf8Length(bytes, i);
    if (n > 0) {
      out.append(bytes.substr(i, n));
      i += n;
    } else {
      const auto c = static_cast<unsigned char>(bytes[i++]);
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> Utf8ToLatin1(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = Utf8Length(utf8, i);
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (n == 1) {
      out += static_cast<char>(c);
    } else if (n == 2 && c <= 0xC3) {
      out += static_cast<char>(((c & 0x03u) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu));
    } else {
      return std::nullopt;
    }
    i += n;
  }
  return out;
}

}  // namespace dbc
