#pragma once
// TPreText: the ordered keyword/value pairs of one FCS TEXT segment.
// Lookups ignore the case of ASCII letters; a repeated keyword is found at
// its first occurrence. Keys and values are bytes, stored as read.
#include <cstdint>
#include <ostream>
#include <string>

#include "util/text.h"
#include "util/vectors.h"

namespace dbc {

class TPreText {
 public:
  explicit TPreText(bool aDecimate = false) : Decimate(aDecimate) {}
  virtual ~TPreText() = default;
  TPreText(const TPreText&) = default;
  TPreText& operator=(const TPreText&) = default;

  bool Decimate = false;
  StringArray keys;
  StringArray Values;
  char Delim = '/';

  int count() const noexcept { return static_cast<int>(keys.size()); }
  int KeyIndex(std::string_view key) const noexcept;
  std::string GetValue(std::string_view key) const;
  void SetValue(std::string_view key, std::string_view value);
  void Add(std::string_view akey, std::string_view aValue);
  // Throws EListError "List index out of bounds (N)" for Ind outside 0..count.
  void Insert(int Ind, std::string_view akey, std::string_view avalue);
  void DeleteKey(std::string_view parname);
  void Assign(const TPreText& txt);
  // Serialises as D key D value D ... D, doubling delimiter bytes inside items
  // and writing a blank in front of an item that is empty or begins with the
  // delimiter (both read back as written, since readers trim items).
  void WriteTo(std::ostream& f) const;
  std::string Serialize() const;
  int Size() const;

  // --- parameter keywords ($PnX) ---
  // Number of the parameter a key belongs to ("$P" + digits...), or -1.
  // Throws EConvertError when the number does not fit 32 bits.
  static int ParNumOfKey(std::string_view key);
  int ParCount() const noexcept;
  std::string ParShortName(int n) const;  // n from 0
  std::string ParLongName(int n) const;   // n from 0
  std::string ParSomeName(int n) const;   // n from 0
  int ParIndByName(std::string_view pname) const;
  StringArray ParOfParNames() const;
  std::string ParOfParValue(int pnum, std::string_view ppname) const;  // pnum from 1
  void DeletePar(int n);                                                  // n from 1
  void DeleteParam(int n);                                                // n from 1
  void AddTip(int aparcount);
  void FixCyanTime(int TimeParNum);  // from 1
  bool IsCyanSummit() const;
  // Reads "$SPILLOVER" (numbers) or "SPILL" (names). Throws
  // Exception("Error Reading Spillover Matrix") on any malformed value.
  void ReadSpillover(TIntVector& indices, TMatrix& matrix) const;

 private:
  void WriteEscaped(std::string& out, std::string_view item) const;
  void RenumberAbove(int n);
};

}  // namespace dbc
