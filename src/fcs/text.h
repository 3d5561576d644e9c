#pragma once
// TText: the keyword text of one data set, read from its TEXT segment and
// interpreted: data type, mode, event and parameter counts, byte order and
// one TPar descriptor per parameter. The texts of CyAn/Summit files are
// repaired in place; the store left behind is what an export copies.
//
// TEXT syntax as read: the first byte is the delimiter; the rest is cut into
// items at the delimiter and the items are paired keyword, value, keyword,
// ... A doubled delimiter inside an item is one literal delimiter (the FCS
// escape), except that in FCS 2.0 texts two delimiters right after a
// keyword give it an empty value, as the writers of that time meant.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fcs/pretext.h"

namespace dbc {

class TDataSet;

struct TPar {
  // Trimmed $PnN; "nn" + the 0-based index when that is empty.
  std::string name;
  // $PnB: bits per value (characters per value for ASCII data).
  int bits = 0;
  // Bytes per value: bits / 8, plus 1 when bits is not a multiple of 8.
  int bytes = 0;
  // $PnR; 0 when absent or not an integer.
  std::int64_t resolution = 0;
  // List-mode integers are ANDed with mask: (the smallest power of two
  // >= resolution) - 1, or all bits set when resolution is not positive.
  std::int64_t mask = -1;
  // $PnE: decades and offset of a logarithmic amplifier.
  double decade = 0;
  double intersect = 1.0;
  // $PnG; 1.0 when absent, blank or not a number.
  double gain = 1.0;
  // The byte order puts a higher byte first (ByteOrd[0] > ByteOrd[1]).
  bool ReverseByteOrder = false;
  // $PnDISPLAY (or PnDISPLAY) is "LOG", case ignored.
  bool bdLogDisplay = false;
};

// What a $BYTEORD says, beyond its map.
enum class TByteOrderKind {
  None,        // no $BYTEORD (or no entries): bytes as stored, little-endian
  Ascending,   // 1,2,...: little-endian for every width
  Descending,  // ...,2,1: big-endian for every width
  Other        // any other order: the map, for the widths it covers
};

class TText : public TPreText {
 public:
  // Reads len bytes at the stream's position (the data set's TEXT start)
  // and interprets them. Throws Exception("FCS Error: Cannot get mandatory
  // pars") without $DATATYPE or $MODE, Exception("Error reading a dataset")
  // when no parameter remains or $PAR exceeds what the text can describe,
  // conversion errors for malformed $BYTEORD, $TOT, $PnE or $TIMESTEP.
  TText(TDataSet& src, std::int64_t len, bool adecimate);

  // The trimmed value of key as a 64-bit integer; 0 when absent or blank.
  std::int64_t IntValue(std::string_view key) const;

  TDataSet* Parent;
  // 'I' integer, 'F' float, 'D' double, 'A' ASCII (any other letter is
  // decoded like 'A').
  char DataType = 0;
  char Mode = 0;  // 'L' list mode
  std::int32_t tot = 0;
  // The event count the TEXT announces, kept when the reader finds fewer
  // events in the file and lowers tot and "$TOT" to their number.
  std::int32_t announced = 0;
  std::int32_t par = 0;
  std::vector<TPar> pars;
  // Byte k of a value as stored is byte ByteOrd[k] - 1 of the value in
  // memory (little-endian memory order). Entries not given stay 0.
  std::array<std::int32_t, 8> ByteOrd{};
  // 0 without $BYTEORD entries, else 8.
  int ByteCount = 0;
  TByteOrderKind ByteOrderKind = TByteOrderKind::None;
  // Value widths (in bytes) the map covers: the entries given, or 8 when
  // two or four entries were given and extended.
  int ByteOrderCover = 0;
  bool cyanSummit = false;
  // Index of the CyAn time parameter, or -1.
  int cyantimepar = -1;
  // Index of the parameter named "PRISM", or -1.
  int prizmpar = -1;
  // $TIMESTEP of a CyAn/Summit text, else 0.
  double timestep = 0;

 private:
  void Split(const std::string& segment, bool emptyValuesDoubled);
  void RepairCyanSummit();
  void ReadByteOrder();
  void ReadParameters();
  void ReadEventCount();
};

}  // namespace dbc
