#include "fcs/text.h"

#include <algorithm>
#include <limits>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fcs/key_lookup.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// List-mode integers keep the bits of the range $PnR: (the smallest power
// of two >= $PnR) - 1. Real files carry ranges such as 1000 or 30000 whose
// values use every bit below that power of two. A range that is not
// positive (or too large to round up) masks nothing.
std::int64_t RangeMask(std::int64_t resolution) {
  if (resolution <= 0 || resolution > (std::int64_t{1} << 62)) return -1;
  std::int64_t p = 1;
  while (p < resolution) p <<= 1;
  return p - 1;
}

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

TText::TText(TDataSet& src, std::int64_t len, bool adecimate) : TPreText(adecimate), Parent(&src) {
  if (len <= 0) return;
  TFCStream& stream = *src.Parent;
  const std::int64_t pos = stream.Position();
  const std::int64_t present = (pos < 0 || pos >= stream.Size()) ? 0 : std::min(len, stream.Size() - pos);
  if (present > stream.ByteBudget()) throw Exception("Error reading a dataset");
  const std::string segment = stream.ReadStr(len);
  stream.Consume(static_cast<std::int64_t>(segment.size()));
  if (!segment.empty()) {
    Delim = segment[0];
    Split(segment.substr(1), src.version < 3);
  }

  const std::string datatype = GetValue("$DATATYPE");
  const std::string mode = GetValue("$MODE");
  if (datatype.empty() || mode.empty()) throw Exception("FCS Error: Cannot get mandatory pars");
  DataType = UpperChar(datatype[0]);
  Mode = UpperChar(mode[0]);
  par = ParCount();
  // Every parameter needs keywords of its own; a count beyond the number of
  // pairs is not a description of this text (and must not size anything).
  if (par > count()) throw Exception("Error reading a dataset");
  cyantimepar = -1;

  RepairCyanSummit();
  ReadByteOrder();
  ReadParameters();
  if (par < 1) {
    src.notimplemented = true;
    throw Exception("Error reading a dataset");
  }
  ReadEventCount();
}

// Items are cut at single delimiters; a doubled delimiter inside a keyword
// or value is one literal delimiter byte (the escape of FCS 3.x, which every
// writer of this library uses). FCS 2.0 writers such as CellQuest write an
// empty value as two delimiters after its keyword ("$P3S\\$P4S\\"), so in
// texts of a version below 3 two delimiters that end a keyword end its
// (empty) value too; a doubled delimiter inside a value is still one byte.
// A segment that does not end with a delimiter ends with its last item.
void TText::Split(const std::string& segment, bool emptyValuesDoubled) {
  StringArray items;
  std::string item;
  const std::size_t n = segment.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = segment[i];
    if (c != Delim) {
      item += c;
      continue;
    }
    const bool doubled = i + 1 < n && segment[i + 1] == Delim;
    if (doubled && !(emptyValuesDoubled && items.size() % 2 == 0)) {
      item += c;
      ++i;
      continue;
    }
    items.push_back(std::move(item));
    item.clear();
    if (doubled) {
      items.emplace_back();
      ++i;
    }
  }
  items.push_back(std::move(item));
  const std::size_t pairs = items.size() / 2;
  keys.reserve(pairs);
  Values.reserve(pairs);
  for (std::size_t k = 0; k < pairs; ++k) {
    keys.push_back(Trim(items[2 * k]));
    Values.push_back(Trim(items[2 * k + 1]));
  }
}

std::int64_t TText::IntValue(std::string_view key) const {
  const std::string v = Trim(GetValue(key));
  if (v.empty()) return 0;
  return StrToInt64(v);
}

// CyAn cytometers with Summit software write one parameter more than the
// events carry values for in their keywords (its 2 bytes are skipped after
// every event), and split the event time over two 16-bit parameters, which
// are merged here into one 32-bit parameter "TIME".
void TText::RepairCyanSummit() {
  cyanSummit = IsCyanSummit();
  if (!cyanSummit) return;
  const int P = par;
  int T = 0;
  {
    const TKeyLookup lookup(*this);
    for (int n = 1; n <= P - 1 && T == 0; ++n)
      if (SameTextAscii(Trim(lookup.Get("$P" + std::to_string(n) + "N")), "TIME")) T = n;
  }
  DeletePar(P);
  par = P - 1;
  if (T > 0) {
    cyantimepar = T - 1;
    par = P - 2;
    FixCyanTime(T);
  }
  // "$PAR" tells the count of the descriptors kept.
  SetValue("$PAR", std::to_string(static_cast<long long>(par)));
  timestep = static_cast<double>(StringToFloat(GetValue("$TIMESTEP")));
}

void TText::ReadByteOrder() {
  const std::string value = GetValue("$BYTEORD");
  StringArray entries;
  if (value.find(',') != std::string::npos) {
    entries = SplitByCharSet(value, CommaSet());
  } else {
    for (std::size_t i = 0; i < value.size() && i < 8; ++i) entries.emplace_back(1, value[i]);
  }
  const int given = static_cast<int>(std::min<std::size_t>(entries.size(), 8));
  for (int i = 0; i < given; ++i) ByteOrd[static_cast<std::size_t>(i)] = StrToInt(Trim(entries[static_cast<std::size_t>(i)]));
  ByteCount = given;
  if (given > 0) {
    bool ascending = true, descending = true;
    for (int i = 0; i < given; ++i) {
      ascending = ascending && ByteOrd[static_cast<std::size_t>(i)] == i + 1;
      descending = descending && ByteOrd[static_cast<std::size_t>(i)] == given - i;
    }
    ByteOrderKind = ascending ? TByteOrderKind::Ascending
                    : descending ? TByteOrderKind::Descending
                                 : TByteOrderKind::Other;
    // Two or four entries describe a pair or a quadruple of bytes; the map
    // repeats them for the following bytes of wider values.
    if (given == 2 || given == 4) {
      for (int i = 0; i + given < 8; ++i)
        ByteOrd[static_cast<std::size_t>(i + given)] =
            ClampToInt32(std::int64_t{ByteOrd[static_cast<std::size_t>(i)]} + given);
      ByteOrderCover = 8;
    } else {
      ByteOrderCover = given;
    }
    ByteCount = 8;
  }
}

void TText::ReadParameters() {
  const bool reverse = ByteCount > 1 && ByteOrd[0] > ByteOrd[1];
  const TKeyLookup lookup(*this);
  pars.assign(static_cast<std::size_t>(std::max(par, 0)), TPar{});
  for (int i = 0; i < par; ++i) {
    TPar& p = pars[static_cast<std::size_t>(i)];
    const std::string number = std::to_string(i + 1);
    const std::string prefix = "$P" + number;

    const std::string& b = lookup.Get(prefix + "B");
    if (DataType == 'A' && b == "*") {
      Parent->notimplemented = true;
      Parent->Parent->Notice("Variable length ASCII data are not implemented yet. And I am not going to do that.");
    }
    try {
      p.bits = StrToInt(Trim(b));
    } catch (const Exception&) {
      p.bits = 0;
    }
    // A negative width describes nothing; it takes the widest, as 0 does.
    if (p.bits < 0) p.bits = 0;

    p.name = Trim(lookup.Get(prefix + "N"));
    if (p.name.empty()) p.name = "nn" + std::to_string(i);

    try {
      const std::string r = Trim(lookup.Get(prefix + "R"));
      p.resolution = r.empty() ? 0 : StrToInt64(r);
    } catch (const Exception&) {
      p.resolution = 0;
    }
    p.mask = RangeMask(p.resolution);
    p.ReverseByteOrder = reverse;
    p.bdLogDisplay = SameTextAscii(lookup.ParOfParValue(i + 1, "DISPLAY"), "LOG");

    const std::string& g = lookup.Get(prefix + "G");
    if (Trim(g).empty()) {
      p.gain = 1.0;
    } else {
      try {
        p.gain = static_cast<double>(StringToFloat(g));
      } catch (const Exception&) {
        p.gain = 1.0;
      }
    }

    const StringArray e = SplitByCharSet(lookup.Get(prefix + "E"), CommaSet());
    p.decade = e.empty() ? 0.0 : static_cast<double>(StringToFloat(e[0]));
    p.intersect = e.size() < 2 ? 1.0 : static_cast<double>(StringToFloat(e[1]));
  }
}

void TText::ReadEventCount() {
  int maxbits = 0;
  for (const TPar& p : pars) maxbits = std::max(maxbits, p.bits);
  std::int64_t width = 0;  // event width W in bytes
  for (TPar& p : pars) {
    if (p.bits == 0) p.bits = maxbits;
    if (p.bits % 8 != 0) {
      p.bytes = p.bits / 8 + 1;
      Parent->compressed = true;
    } else {
      p.bytes = p.bits / 8;
    }
    width += p.bytes;
  }

  // "$TOT" is kept to its low 32 bits.
  tot = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(IntValue("$TOT"))));
  const std::int64_t dataLen = Parent->Header ? Parent->Header->Len(1) : 0;
  if (Mode == 'L') {
    // Without "$TOT" the DATA segment's length tells the count; events
    // that occupy no bytes cannot be counted and there are none.
    if (tot <= 0) tot = width > 0 ? ClampToInt32(std::max<std::int64_t>(0, dataLen / width)) : 0;
    // Bit-packed values are assumed only when the DATA segment is too short
    // for byte-aligned ones.
    const bool fits = dataLen >= 0 && (tot == 0 || width <= dataLen / tot);
    if (fits) Parent->compressed = false;
  } else {
    Parent->compressed = false;
    if (tot < 0) tot = 0;
  }
  announced = tot;

  if (Decimate) {
    tot /= 10;
    SetValue("$TOT", std::to_string(tot));
  }

  prizmpar = -1;
  const int named = std::min(ParCount(), par);
  for (int i = 0; i < named; ++i)
    if (pars[static_cast<std::size_t>(i)].name == "PRISM") prizmpar = i;
}

}  // namespace dbc
