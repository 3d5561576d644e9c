#pragma once
// String routines over 8-bit text (FCS keywords and values are bytes).
// Character positions are counted from 1; position 0 means "not found".
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "util/vectors.h"

namespace dbc {

using CharSet = std::bitset<256>;

// The two sets the FCS code cuts with.
const CharSet& DigitSet();
const CharSet& CommaSet();

void SwapBytes(std::uint8_t& a, std::uint8_t& b) noexcept;

int AppendToStringArray(StringArray& arr, std::string s);
int FindSubstring(std::string_view pattern, std::string_view s, int start, bool exact);
std::string CopyRange(std::string_view s, int from, int to);
std::string CopyToEnd(std::string_view s, int from);

// Splits at every occurrence of d; empty fields are kept.
StringArray SplitByString(std::string_view s, std::string_view d);
// Maximal runs of characters outside the set; no empty fields.
StringArray SplitByCharSet(std::string_view s, const CharSet& set);
std::string JoinWithChar(const StringArray& items, char sep);

std::string PadWithZeros(std::string s, int width);

// Strict decimal number: [blanks][sign]digits[.digits][(E|e)[sign]digits].
// Locale independent. Throws Exception("Error Converting Floting point string").
long double StringToFloat(std::string_view s);

// Integer conversions: optional leading blanks, optional sign, decimal digits,
// nothing after; out of range or malformed throws EConvertError with
// "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view s);
std::int64_t StrToInt64(std::string_view s);

// Removes bytes <= 0x20 (blanks and control characters) from both ends.
std::string Trim(std::string_view s);
std::string UpperAscii(std::string_view s);
std::string LowerAscii(std::string_view s);
// Equal when equal after upper-casing the ASCII letters a..z of both.
bool SameTextAscii(std::string_view a, std::string_view b) noexcept;
bool StartsWith(std::string_view s, std::string_view prefix) noexcept;

// FCS text is bytes; JSON is UTF-8. Valid UTF-8 passes, every other byte
// becomes the code point of its value (Latin-1).
std::string BytesToUtf8(std::string_view bytes);
// The bytes whose Latin-1 reading is the given UTF-8 text; empty when a
// character lies above U+00FF or the text is no UTF-8 (so that a name the
// parameter list shows byte for byte can be found again).
std::optional<std::string> Utf8ToLatin1(std::string_view utf8);

// A string list that refuses duplicates (exact or, when CaseIndifferent,
// ignoring ASCII case) in its adding operations. Each string carries an
// object pointer that the list does not own.
class TUniqueList {
 public:
  explicit TUniqueList(bool aCaseIndifferent = false) : FCaseIndifferent(aCaseIndifferent) {}

  int Add(const std::string& S) { return AddObject(S, nullptr); }
  int AddObject(const std::string& S, void* AObject);
  void AddStrings(const TUniqueList& Strings);

  bool CaseIndifferent() const noexcept { return FCaseIndifferent; }
  void SetCaseIndifferent(bool value);

  // Unchecked list operations.
  int Count() const noexcept { return static_cast<int>(strings_.size()); }
  const std::string& operator[](int i) const { return strings_.at(static_cast<std::size_t>(i)); }
  void* Objects(int i) const { return objects_.at(static_cast<std::size_t>(i)); }
  void Insert(int i, const std::string& S, void* AObject = nullptr);
  void Delete(int i);
  void Clear() noexcept;
  const StringArray& Strings() const noexcept { return strings_; }

 private:
  bool FCaseIndifferent;
  StringArray strings_;
  std::vector<void*> objects_;
};

}  // namespace dbc
