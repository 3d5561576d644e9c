#include "fcs/dataset.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "fcs/block_decoder.h"
#include "fcs/fcs_errors.h"
#include "fcs/fcs_stream.h"
#include "fcs/key_lookup.h"
#include "fcs/value_decoder.h"
#include "stats/matrices.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

int TruncateVersion(double v) {
  if (!std::isfinite(v) || v <= std::numeric_limits<std::int32_t>::min() - 1.0 ||
      v >= std::numeric_limits<std::int32_t>::max() + 1.0)
    return 0;
  return static_cast<int>(v);
}

}  // namespace

std::string CutShortNotice(const std::string& name, std::int64_t announced, std::int64_t read) {
  return "File " + name + " is cut short: $TOT announces " + std::to_string(announced) +
         " events, the file holds " + std::to_string(read) + " complete events, which are read";
}

TDataSet::TDataSet(TFCStream& src, bool adecimate, bool LoadData) : Parent(&src) {
  Offset = src.Position();
  signature = src.ReadStr(3);
  if (signature != "FCS" && signature != "ACS") {
    src.SignatureFailed();
    return;
  }
  version = TruncateVersion(src.ReadFloat(7));
  Header = std::make_unique<THeader>();
  for (int i = 0; i < 3; ++i) {
    const std::int32_t start = src.ReadInt(8);
    const std::int32_t stop = src.ReadInt(8);
    Header->Add(stop, start);
  }
  src.SetPosition(Offset + Header->bounds[0].start);
  Text = std::make_unique<TText>(*this, Header->Len(0), adecimate);

  ReadSpillover();

  const auto P = static_cast<std::size_t>(parcount());
  logpar.assign(P, false);
  mins.assign(P, 0.0f);
  maxs.assign(P, 0.0f);
  Scales.assign(P, TScale{});
  const TKeyLookup lookup(*Text);
  for (std::size_t p = 0; p < P; ++p) {
    const int n = static_cast<int>(p) + 1;
    logpar[p] = SameTextAscii(lookup.ParOfParValue(n, "D"), "LOG") ||
                SameTextAscii(lookup.ParOfParValue(n, "DISPLAY"), "LOG");
    // Scatter parameters stay linear whatever the display keyword says.
    if (Text->pars[p].name.rfind("SS", 0) == 0) logpar[p] = false;
  }

  if (LoadData) ReadEvents();
}

TDataSet::~TDataSet() = default;

// "$SPILLOVER" lists parameter numbers, "SPILL" (BD) parameter names; FCS
// 3.1 names the parameters in "$SPILLOVER" too, which is tried when the
// numbers do not read. The matrix is optional and nothing in debarcoding
// compensates, so a keyword that cannot be read leaves the data set without
// one instead of making the file unreadable.
void TDataSet::ReadSpillover() {
  try {
    Text->ReadSpillover(SpillInds, spillover);
  } catch (const Exception&) {
    spillover.clear();
    SpillInds.clear();
    const std::string value = Text->GetValue("$SPILLOVER");
    if (!value.empty()) {
      // The text without any "$SPILLOVER", in one pass (deleting them one
      // by one is quadratic in their number).
      TPreText byName(Text->Decimate);
      for (std::size_t i = 0; i < Text->keys.size(); ++i) {
        if (SameTextAscii(Text->keys[i], "$SPILLOVER")) continue;
        byName.keys.push_back(Text->keys[i]);
        byName.Values.push_back(Text->Values[i]);
      }
      byName.SetValue("SPILL", value);
      try {
        byName.ReadSpillover(SpillInds, spillover);
      } catch (const Exception&) {
        spillover.clear();
        SpillInds.clear();
      }
    }
    SpillUnreadable = spillover.empty();
  }
  RebuildSpillOver();
}

void TDataSet::BeginData() {
  std::int64_t begin = Header->bounds[1].start;
  if (begin == 0) {
    // Offsets beyond the eight digits of a header field are written as 0
    // there and given by the keyword (64-bit: files may pass 2 GiB).
    try {
      begin = StrToInt64(Text->GetValue("$BEGINDATA"));
    } catch (...) {
      throw Exception("BEGINDATA parameter is invalid");
    }
  } else if (begin >= Header->bounds[0].start && begin <= Header->bounds[0].stop) {
    // A header DATA start inside the TEXT segment cannot be right; a
    // "$BEGINDATA" outside it is taken instead.
    try {
      const std::int64_t keyword = StrToInt64(Text->GetValue("$BEGINDATA"));
      if (keyword > 0 && (keyword < Header->bounds[0].start || keyword > Header->bounds[0].stop)) begin = keyword;
    } catch (const Exception&) {
    }
  }
  Parent->SetPosition(Offset + begin);
}

int TDataSet::OffsetToNextDataSet() const {
  if (!Text) return 0;
  const std::string v = Trim(Text->GetValue("$NEXTDATA"));
  if (v.empty()) return 0;
  return StrToInt(v);
}

void TDataSet::SetEventCount(int v) {
  Text->tot = v;
  Text->SetValue("$TOT", std::to_string(v));
}

TSingleVector TDataSet::GetRow(const TSingleMatrix& dat, int n) const {
  TSingleVector row(static_cast<std::size_t>(parcount()));
  for (std::size_t p = 0; p < row.size(); ++p) row[p] = dat[p][static_cast<std::size_t>(n)];
  return row;
}

std::string TDataSet::ParName(int par) const { return Text->pars[static_cast<std::size_t>(par)].name; }
std::string TDataSet::ParShortName(int n) const { return Text->ParShortName(n); }
std::string TDataSet::ParLongName(int n) const { return Text->ParLongName(n); }

std::string TDataSet::filename() const {
  const std::string fil = Text->GetValue("$FIL");
  if (!Trim(fil).empty()) return fil;
  return Text->GetValue("FILE");
}

void TDataSet::FillComboBox(const std::function<void()>& clear,
                            const std::function<void(const std::string&)>& add) const {
  clear();
  for (int p = 0; p < parcount(); ++p) add(ParName(p));
}

void TDataSet::RebuildSpillOver() {
  if (spillover.empty()) return;
  const std::size_t n = spillover.size();
  if (NormalizeSpillOver)
    for (auto& row : spillover) row = NormalizeVector(row);
  TMatrix inv(n, TVector(n, 0.0));
  const bool square = std::all_of(spillover.begin(), spillover.end(),
                                  [n](const TVector& row) { return row.size() == n; });
  if (square && InvertMatrix(spillover, 0, static_cast<int>(n) - 1, inv) == MatOk) {
    spill_inv = std::move(inv);
    SpillSingular = false;
  } else {
    spill_inv.clear();
    SpillSingular = true;
  }
}

// --- events ---

void TDataSet::ReadEvents() {
  const TText& t = *Text;
  const auto P = static_cast<std::size_t>(parcount());
  BeginData();
  const std::int64_t start = Parent->Position();
  const std::int64_t size = Parent->Size();
  const std::int64_t avail = (start < 0 || start >= size) ? 0 : size - start;

  const bool binary = t.DataType == 'I' || t.DataType == 'F' || t.DataType == 'D';
  const bool packed = t.DataType == 'I' && compressed;
  // Bytes (bits when packed) the values of one event take in the file.
  std::int64_t valueUnits = 0;
  if (!notimplemented)
    for (const TPar& p : t.pars)
      valueUnits += packed ? p.bits : binary ? std::min(p.bytes, 8) : p.bits;
  const std::int64_t skip = t.cyanSummit ? 2 : 0;

  // The events that the bytes after the data start can hold, and no more
  // than the file has left for a chained data set. An event that reads no
  // bytes holds no data.
  std::int64_t capacity = 0;
  if (valueUnits > 0) {
    if (packed) {
      const std::int64_t bits = std::min(avail, (std::numeric_limits<std::int64_t>::max)() / 8) * 8;
      capacity = bits / valueUnits;
      const std::int64_t budget = Parent->ByteBudget();
      if (budget < (std::numeric_limits<std::int64_t>::max)() / 8) capacity = std::min(capacity, budget * 8 / valueUnits);
    } else {
      const std::int64_t stride = (valueUnits + skip) * (t.Decimate ? 10 : 1);
      capacity = avail < valueUnits ? 0 : (avail - valueUnits) / stride + 1;
      capacity = std::min(capacity, Parent->ByteBudget() / valueUnits);
    }
  }
  const std::int64_t count = std::min<std::int64_t>(std::max(t.tot, 0), capacity);

  std::int64_t read = 0;
  if (binary && !packed && !notimplemented && Parent->DecodePath() == TDecodePath::Fast) {
    const std::vector<TValuePlan> plans = MakeValuePlans(t);
    TEventLayout layout;
    layout.start = start;
    layout.valueBytes = valueUnits;
    layout.stride = (valueUnits + skip) * (t.Decimate ? 10 : 1);
    layout.offsets.resize(P);
    std::int64_t offset = 0;
    for (std::size_t p = 0; p < P; ++p) {
      layout.offsets[p] = offset;
      offset += plans[p].n;
    }
    read = DecodeEventBlocks(*Parent, layout, count, plans, data);
    if (read > 0) EventSize = static_cast<int>(std::min<std::int64_t>(valueUnits + skip, INT32_MAX));
  } else {
    read = ReadEventsReference(count);
  }
  for (auto& column : data) column.resize(static_cast<std::size_t>(read));
  if (read < t.tot) {
    // Values that take no bytes (variable-length ASCII, not decoded) are
    // not missing from the file.
    if (valueUnits > 0) Parent->Notice(CutShortNotice(Parent->fname, t.announced, read));
    SetEventCount(static_cast<int>(read));
  }
  Parent->Consume(packed ? (read * valueUnits + 7) / 8 : read * valueUnits);
}

// The plain algorithm: event after event, value after value, through the
// stream; the first value that the file cannot complete ends the events.
std::int64_t TDataSet::ReadEventsReference(std::int64_t count) {
  const auto P = static_cast<std::size_t>(parcount());
  plans_ = MakeValuePlans(*Text);
  data.assign(P, TSingleVector(static_cast<std::size_t>(count)));
  TSingleVector row(P);
  std::int64_t e = 0;
  for (; e < count; ++e) {
    try {
      ReadEvent(row);
    } catch (const EFCSBadFile&) {
      break;
    }
    if (Text->Decimate) Parent->SetPosition(Parent->Position() + std::int64_t{9} * EventSize);
    for (std::size_t p = 0; p < P; ++p) data[p][static_cast<std::size_t>(e)] = row[p];
  }
  plans_.clear();
  return e;
}

void TDataSet::ReadEvent(TSingleVector& row) {
  const std::int64_t start = Parent->Position();
  for (std::size_t p = 0; p < row.size(); ++p) row[p] = ReadValue(static_cast<int>(p));
  // CyAn/Summit: the values of the parameter dropped from the text.
  if (Text->cyanSummit) Parent->SetPosition(Parent->Position() + 2);
  EventSize = static_cast<int>(std::clamp<std::int64_t>(Parent->Position() - start, INT32_MIN, INT32_MAX));
}

float TDataSet::ReadValue(int p) {
  if (notimplemented) return 0.0f;
  const TValuePlan& plan = plans_[static_cast<std::size_t>(p)];
  float v;
  if (plan.type == 'I' || plan.type == 'F' || plan.type == 'D') {
    std::array<std::uint8_t, 8> raw{};
    if (plan.type == 'I' && compressed) {
      bool complete = true;
      std::uint64_t u = Parent->ReadUB(plan.bits, &complete);
      if (!complete) throw EFCSBadFile("File size is smaller then it is supposed to be");
      for (auto& b : raw) {
        b = static_cast<std::uint8_t>(u & 0xFF);
        u >>= 8;
      }
    } else if (Parent->Read(raw.data(), plan.n) < plan.n) {
      throw EFCSBadFile("File size is smaller then it is supposed to be");
    }
    v = DecodeBinary(raw, plan);
  } else {
    const std::string field = Parent->ReadStr(plan.n);
    if (static_cast<std::int64_t>(field.size()) < plan.n)
      throw EFCSBadFile("File size is smaller then it is supposed to be");
    v = DecodeAscii(field);
  }
  return FinishValue(v, plan);
}

}  // namespace dbc
