#pragma once
// Builds FCS file bytes in a test: header, TEXT from keyword pairs (or
// verbatim), DATA and ANALYSIS from raw bytes, with knobs to break what a
// reader relies on. Offsets are computed from the parts unless a header
// field is overridden.
//
//   dbc::test::FcsBuilder b;                       // "FCS3.0", delimiter '/'
//   b.Key("$DATATYPE", "F").Key("$MODE", "L").Key("$PAR", "1")
//    .Key("$TOT", "2").Key("$P1B", "32").Key("$BYTEORD", "1,2,3,4");
//   b.data = dbc::test::F32(1.0f) + dbc::test::F32(2.0f);
//   auto opened = dbc::test::OpenBytes(b.Build());
//
// Layout: header (58 bytes), blanks up to textOffset, the TEXT, dataGap
// blanks, the DATA, the ANALYSIS, then `tail`.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fcs/fcs_stream.h"
#include "fcs/pretext.h"

namespace dbc::test {

using Keywords = std::vector<std::pair<std::string, std::string>>;

struct FcsBuilder {
  // Bytes 0..5 of the header: signature and version text (padded with blanks
  // to ten bytes).
  std::string version = "FCS3.0";
  char delim = '/';
  Keywords keywords;
  // Ends the TEXT with a delimiter after the last value.
  bool finalDelimiter = true;
  // Keys and values are written as given; with escape, a delimiter inside
  // them is doubled (the FCS escape).
  bool escape = false;
  // TEXT bytes verbatim (delimiter first) instead of keywords.
  std::optional<std::string> rawText;
  // Adds "$BEGINDATA" and "$ENDDATA" holding the real DATA offsets.
  bool beginEndKeywords = false;
  std::string data;
  std::string analysis;
  std::int64_t textOffset = 58;
  std::int64_t dataGap = 0;
  std::string tail;
  // Header offset fields (0 TEXT start, 1 TEXT end, 2 DATA start, 3 DATA end,
  // 4 ANALYSIS start, 5 ANALYSIS end), written verbatim when set.
  std::array<std::optional<std::string>, 6> headerFields;

  // Appends a pair.
  FcsBuilder& Key(std::string key, std::string value);
  // Replaces the value of the first pair with this key (exact match), or
  // appends the pair.
  FcsBuilder& Set(const std::string& key, std::string value);
  FcsBuilder& Erase(const std::string& key);

  // The TEXT segment as it will be written.
  std::string TextSegment() const;
  std::string Build() const;
  // Offsets of the last Build(), relative to the data set start.
  mutable std::int64_t builtDataStart = 0;
};

// A list-mode data set: $BYTEORD, $DATATYPE, $MODE, $PAR, $TOT and, for
// every parameter, $PnB (bits), $PnN (names[i] or "P<n>") and $PnR (range, 0
// omits it).
FcsBuilder ListMode(char datatype, const std::vector<int>& bits, std::int64_t tot,
                    const std::string& byteord = "1,2,3,4",
                    const std::vector<std::string>& names = {},
                    const std::vector<std::int64_t>& ranges = {});

// A keyword store holding the pairs as given, in order (repeats kept).
TPreText KeywordStore(const Keywords& pairs);

// Concatenates data sets, pointing each one's "$NEXTDATA" at the next.
std::string Chain(std::vector<FcsBuilder> sets);

// Value bytes; big selects the most significant byte first.
std::string U8(unsigned v);
std::string U16(std::uint16_t v, bool big = false);
std::string U24(std::uint32_t v, bool big = false);
std::string U32(std::uint32_t v, bool big = false);
std::string U64(std::uint64_t v, bool big = false);
std::string F32(float v, bool big = false);
std::string F64(double v, bool big = false);
std::string Bytes(std::initializer_list<int> bytes);
// A right-aligned 8-character header field.
std::string Field8(std::int64_t v);

struct Opened {
  std::unique_ptr<TFCStream> stream;
  std::vector<std::string> notices;
};
// Opens bytes in memory as the file `name`, collecting notices. Errors pass.
Opened OpenBytes(std::string bytes, bool decimate = false, bool load = true,
                 TDecodePath path = TDecodePath::Fast, const std::string& name = "test.fcs");

}  // namespace dbc::test
