#pragma once
// The keyword texts of exported files: a copy of the source's keywords made
// to describe exactly what an output holds.
//
// An output holds one data set of 32-bit little-endian floats of some of
// the source's parameters (all of them in the trash file). Its text is the
// source's, with
//  - every keyword once (a repeated one keeps its first value);
//  - every parameter keyword, "$PnX" as well as instrument keys written
//    "PnX" or "@PnX" (BD's PnDISPLAY, Beckman's @PnGAIN, ...), removed with
//    its parameter or renumbered with it (the whole suffix kept);
//  - the spillover keywords ("$SPILLOVER", "SPILL", "$COMP") restricted to
//    the parameters kept, in the source's form, or removed when none of
//    their parameters remains;
//  - "$PAR", "$BYTEORD" 1,2,3,4, "$DATATYPE" F and "$PnB" 32 (when the
//    source held other data), "$MODE" L, "$NEXTDATA" 0 and the offsets of
//    the supplemental TEXT and ANALYSIS segments 0 (an output has none);
//  - the keywords FCS 3.0 requires added when the source lacks them;
//  - log-amplified parameters (see TLogToLinear) declared linear;
//  - its origin: DEBARCODE_WELL (A01 ... H12, trash or ambiguous) and
//    DEBARCODE_SOURCE (the source file's name).
// "$TOT", "$BEGINDATA" and "$ENDDATA" are the writer's.
#include <optional>
#include <string>
#include <vector>

#include "fcs/pretext.h"
#include "util/vectors.h"

namespace dbc {

inline constexpr const char* kWellKeyword = "DEBARCODE_WELL";
inline constexpr const char* kSourceKeyword = "DEBARCODE_SOURCE";

// A log-amplified parameter ("$PnE" f1,f2 with f1 > 0) stores channel
// numbers x of 0 .. "$PnR"; the value measured is f2 * 10^(f1 * x / $PnR),
// with f2 = 0 read as 1. Float data cannot be log-amplified (their "$PnE"
// is 0,0 and readers take them as linear), so the outputs hold that value.
struct TLogToLinear {
  double decades = 0;  // f1
  double offset = 1;   // f2
  double range = 1;    // $PnR of the source
  float operator()(float x) const noexcept;
};

// What an output writes for one source parameter beyond its copied keys.
struct TParameterOutput {
  std::optional<TLogToLinear> linear;  // values converted to linear ones
  bool linearE = false;                // "$PnE" becomes 0,0
  std::string range;                   // "$PnR" written; empty: as copied
  std::string name;                    // "$PnN" added: the source has none
};

// Per source parameter, from the source's keywords and its values (the
// first `events` of every column): which values are made linear and what
// "$PnR" then covers them; "$PnR" and "$PnN" for parameters without them.
std::vector<TParameterOutput> ParameterOutputs(const TPreText& source, int parcount,
                                               const TSingleMatrix& data, std::size_t events);

// The text of an output that holds the source parameters `keep` (0-based,
// ascending) of the source's `parcount`. `well` is the value of
// DEBARCODE_WELL, `sourceName` the source file's name (the part of a path
// after its last '/'; no keyword when empty).
TPreText OutputText(const TPreText& source, int parcount, const TIntVector& keep,
                    const std::vector<TParameterOutput>& params, const std::string& well,
                    const std::string& sourceName);

// The value of a spillover keyword ("$SPILLOVER", "SPILL" or "$COMP") of
// the source for an output whose parameter numbers are newNumber[p] (0 for
// a parameter left out): the matrix of the parameters kept, references as
// the source wrote them (numbers renumbered, names as they were, a "$COMP"
// without references by position), coefficients as written. Nothing when
// none of its parameters remains or the value cannot be read.
std::optional<std::string> RestrictSpillover(const TPreText& source, int parcount,
                                             const std::string& key, const std::string& value,
                                             const std::vector<int>& newNumber);

}  // namespace dbc
