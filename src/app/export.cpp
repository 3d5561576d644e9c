#include "app/export.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "app/plate.h"
#include "fcs/fcs_write.h"
#include "fcs/key_lookup.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

// Trash, then A01..H12, then the ambiguous events.
constexpr int kAmbiguousOutput = 1 + kPlateRows * kPlateColumns;
constexpr int kOutputs = kAmbiguousOutput + 1;

// The outputs that keep every parameter.
bool KeepsEveryParameter(int output) { return output == 0 || output == kAmbiguousOutput; }

std::string Trimmed(const TPreText& t, const std::string& key) { return Trim(t.GetValue(key)); }

// The source data are 32-bit floats when "$DATATYPE" is F and every
// parameter has "$PnB" 32. (Every parameter's keywords are looked up in one
// index: a scan of the store per parameter makes a text of many thousand
// parameters take minutes.)
bool HoldsFloat32(const TPreText& source, int parcount) {
  if (!SameTextAscii(Trimmed(source, "$DATATYPE"), "F")) return false;
  const TKeyLookup lookup(source);
  for (int n = 1; n <= parcount; ++n)
    if (Trim(lookup.Get("$P" + std::to_string(n) + "B")) != "32") return false;
  return true;
}

// SetValue("$PnB", "32") for n = 1..kept, with the first pair of each key
// found in one pass.
void DescribeFloat32(TPreText& out, bool sourceIsFloat32, int kept) {
  out.SetValue("$BYTEORD", "1,2,3,4");
  if (sourceIsFloat32) return;
  out.SetValue("$DATATYPE", "F");
  std::unordered_map<std::string, std::size_t> first;
  for (std::size_t i = 0; i < out.keys.size(); ++i) first.emplace(UpperAscii(out.keys[i]), i);
  for (int n = 1; n <= kept; ++n) {
    const std::string key = "$P" + std::to_string(n) + "B";
    const auto it = first.find(key);
    if (it != first.end()) {
      out.Values[it->second] = "32";
    } else {
      out.keys.push_back(key);
      out.Values.push_back("32");
    }
  }
}

int ParCountOf(const ExportJob& job) { return static_cast<int>(job.data->size()); }

void CheckJob(const ExportJob& job) {
  if (!job.text || !job.data || !job.codes) throw Exception("Export without a data set");
  if (job.codes->size() != job.events) throw Exception("Export: one code per event expected");
  if (job.ambiguous && job.ambiguous->size() != job.events)
    throw Exception("Export: one ambiguity per event expected");
  for (const auto& column : *job.data)
    if (column.size() < job.events) throw Exception("Export: a parameter column is too short");
  const int par = ParCountOf(job);
  for (int j = 0; j < kBarcodeBits; ++j) {
    const int p = job.bit2par[static_cast<std::size_t>(j)];
    if (p < 0 || p >= par) throw Exception("Bit " + std::to_string(j + 1) + " is not defined");
    for (int i = 0; i < j; ++i)
      if (job.bit2par[static_cast<std::size_t>(i)] == p)
        throw Exception("Bits " + std::to_string(i + 1) + " and " + std::to_string(j + 1) +
                        " share one parameter");
  }
}

void MakeTrashFolder(const std::string& dir) {
  // The outcome is not examined: a folder that could not be made shows up
  // as the creation error of the trash file.
  std::error_code ec;
  std::filesystem::create_directories(dir + "/trash", ec);
}

std::string OutputFileName(const std::string& dir, int output) {
  if (output == 0) return TrashFileName(dir);
  if (output == kAmbiguousOutput) return AmbiguousFileName(dir);
  return WellFileName(dir, (output - 1) / kPlateColumns, (output - 1) % kPlateColumns);
}

std::unique_ptr<TFCSWrite> OpenOutput(const std::string& name, const TPreText& text) {
  auto w = std::make_unique<TFCSWrite>(name);
  w->Text.Assign(text);
  w->BeginData();
  return w;
}

void CountOutput(ExportResult& r, int output, std::int64_t n) {
  if (output == 0)
    r.trash += n;
  else if (output == kAmbiguousOutput)
    r.ambiguous += n;
  else
    r.wells[(output - 1) / kPlateColumns][(output - 1) % kPlateColumns] += n;
}

// Output index of every code: 0 for trash, 1 + row * 12 + column for a well.
std::array<int, kCodeCount> OutputOfCode() {
  std::array<int, kCodeCount> out{};
  for (int code = 0; code < kCodeCount; ++code) {
    const TWellPos w = code2well[code];
    out[static_cast<std::size_t>(code)] = w.col < 0 ? 0 : 1 + w.row * kPlateColumns + w.col;
  }
  return out;
}

}  // namespace

TByteVector ClassifyEvents(const TSingleMatrix& data, std::size_t events,
                           const BitParams& bit2par, const BitThresholds& thresholds) {
  TByteVector codes(events, 0);
  for (int j = 0; j < kBarcodeBits; ++j) {
    const auto& column = data.at(static_cast<std::size_t>(bit2par[static_cast<std::size_t>(j)]));
    if (column.size() < events) throw Exception("Export: a parameter column is too short");
    const double t = thresholds[static_cast<std::size_t>(j)];
    const float* v = column.data();
    std::uint8_t* c = codes.data();
    for (std::size_t i = 0; i < events; ++i)
      c[i] = static_cast<std::uint8_t>(c[i] | (static_cast<unsigned>(static_cast<double>(v[i]) >= t) << j));
  }
  return codes;
}

TByteVector AmbiguousBitsOf(const TSingleMatrix& data, std::size_t events, const BitParams& bit2par,
                            const BitThresholds& thresholds, double margin) {
  TByteVector bits(events, 0);
  for (int j = 0; j < kBarcodeBits; ++j) {
    const auto& column = data.at(static_cast<std::size_t>(bit2par[static_cast<std::size_t>(j)]));
    if (column.size() < events) throw Exception("Export: a parameter column is too short");
    const double t = thresholds[static_cast<std::size_t>(j)];
    const double low = t - margin, high = t + margin;
    for (std::size_t i = 0; i < events; ++i) {
      const auto v = static_cast<double>(column[i]);
      if (v > low && v < high) bits[i] = static_cast<std::uint8_t>(bits[i] | (1u << j));
    }
  }
  return bits;
}

std::string TrashFileName(const std::string& dir) { return dir + "/trash/trash.fcs"; }

std::string AmbiguousFileName(const std::string& dir) { return dir + "/trash/ambiguous.fcs"; }

std::string WellFileName(const std::string& dir, int row, int col) {
  return dir + "/Well_" + WellName(row, col) + ".fcs";
}

TPreText TrashText(const TPreText& source, int parcount) {
  TPreText t(false);
  t.Assign(source);
  DescribeFloat32(t, HoldsFloat32(source, parcount), parcount);
  return t;
}

TPreText WellText(const TPreText& source, int parcount, const BitParams& bit2par,
                  bool includeBarcode, TIntVector& keep) {
  TIntVector sorted(bit2par.begin(), bit2par.end());
  std::sort(sorted.begin(), sorted.end());
  keep.resize(static_cast<std::size_t>(parcount));
  for (int p = 0; p < parcount; ++p) keep[static_cast<std::size_t>(p)] = p;
  TPreText t(false);
  t.Assign(source);
  if (!includeBarcode) {
    // From the highest index down, so the numbers still to delete stay valid.
    for (int k = kBarcodeBits - 1; k >= 0; --k) {
      const int p = sorted[static_cast<std::size_t>(k)];
      t.DeleteParam(p + 1);
      keep.erase(std::find(keep.begin(), keep.end(), p));
    }
  }
  DescribeFloat32(t, HoldsFloat32(source, parcount), static_cast<int>(keep.size()));
  return t;
}

ExportResult ExportPlateReference(const ExportJob& job) {
  CheckJob(job);
  ExportResult result;
  if (job.events == 0) return result;
  const TSingleMatrix& data = *job.data;
  const TByteVector& codes = *job.codes;
  auto ambiguous = [&job](std::size_t e) { return job.ambiguous && (*job.ambiguous)[e] != 0; };
  const int par = ParCountOf(job);
  auto getRow = [&](std::size_t e) {
    TSingleVector row(static_cast<std::size_t>(par));
    for (int p = 0; p < par; ++p) row[static_cast<std::size_t>(p)] = data[static_cast<std::size_t>(p)][e];
    return row;
  };

  MakeTrashFolder(job.dir);
  {
    auto w = OpenOutput(TrashFileName(job.dir), TrashText(*job.text, par));
    for (std::size_t e = 0; e < job.events; ++e)
      if (code2well[codes[e]].col == -1 && !ambiguous(e)) w->WriteData(getRow(e));
    result.trash = w->Count;
    w->EndData(0);
    result.files.push_back(TrashFileName(job.dir));
  }

  TIntVector keep;
  const TPreText wellText = WellText(*job.text, par, job.bit2par, job.includeBarcode, keep);
  for (int r = 0; r < kPlateRows; ++r)
    for (int c = 0; c < kPlateColumns; ++c) {
      const std::uint8_t code = well2code[r][c];
      std::unique_ptr<TFCSWrite> w;
      for (std::size_t e = 0; e < job.events; ++e) {
        if (codes[e] != code || ambiguous(e)) continue;
        if (!w) w = OpenOutput(WellFileName(job.dir, r, c), wellText);
        const TSingleVector full = getRow(e);
        TSingleVector row(keep.size());
        for (std::size_t k = 0; k < keep.size(); ++k)
          row[k] = full[static_cast<std::size_t>(keep[k])];
        w->WriteData(row);
      }
      if (w) {
        result.wells[r][c] = w->Count;
        w->EndData(0);
        result.files.push_back(WellFileName(job.dir, r, c));
      }
    }

  std::unique_ptr<TFCSWrite> w;
  for (std::size_t e = 0; e < job.events; ++e) {
    if (!ambiguous(e)) continue;
    if (!w) w = OpenOutput(AmbiguousFileName(job.dir), TrashText(*job.text, par));
    w->WriteData(getRow(e));
  }
  if (w) {
    result.ambiguous = w->Count;
    w->EndData(0);
    result.files.push_back(AmbiguousFileName(job.dir));
  }
  return result;
}

ExportResult ExportPlate(const ExportJob& job, const ExportTuning& tuning, const Progress& progress) {
  static const std::string kStage = "Writing the wells";
  CheckJob(job);
  ExportResult result;
  if (job.events == 0) return result;
  const TSingleMatrix& data = *job.data;
  const std::uint8_t* codes = job.codes->data();
  const std::uint8_t* ambiguous = job.ambiguous ? job.ambiguous->data() : nullptr;
  const std::size_t events = job.events;
  const int par = ParCountOf(job);
  const std::array<int, kCodeCount> outputOf = OutputOfCode();
  auto outputOfEvent = [&](std::size_t e) {
    return static_cast<std::size_t>(ambiguous && ambiguous[e] ? kAmbiguousOutput : outputOf[codes[e]]);
  };

  TIntVector keep;
  const TPreText trashText = TrashText(*job.text, par);
  const TPreText wellText = WellText(*job.text, par, job.bit2par, job.includeBarcode, keep);
  std::vector<const float*> allColumns, keptColumns;
  for (const auto& column : data) allColumns.push_back(column.data());
  for (int p : keep) keptColumns.push_back(data[static_cast<std::size_t>(p)].data());
  const std::size_t trashFloats = allColumns.size(), wellFloats = keptColumns.size();

  std::array<std::int64_t, kOutputs> count{};
  for (std::size_t e = 0; e < events; ++e) ++count[outputOfEvent(e)];

  // The trash file is written even without events; a well only with.
  MakeTrashFolder(job.dir);
  std::array<std::unique_ptr<TFCSWrite>, kOutputs> writer;
  for (int o = 0; o < kOutputs; ++o) {
    if (o != 0 && count[static_cast<std::size_t>(o)] == 0) continue;
    writer[static_cast<std::size_t>(o)] = std::make_unique<TFCSWrite>(
        OutputFileName(job.dir, o), std::max<std::size_t>(tuning.bufferBytes, 1));
    writer[static_cast<std::size_t>(o)]->Text.Assign(KeepsEveryParameter(o) ? trashText : wellText);
    writer[static_cast<std::size_t>(o)]->BeginData();
  }

  const std::size_t block = std::max<std::size_t>(tuning.blockEvents, 1);
  struct Target {
    std::uint32_t event;  // within the block
    char* dest;
  };
  std::vector<Target> wellRows, trashRows;
  wellRows.reserve(block);
  trashRows.reserve(block);

  // Each output's rows are claimed from its writer's buffer in runs of up
  // to a buffer's worth; a run never exceeds the rows the output still
  // receives, so every claimed byte is filled before the writer flushes.
  std::array<std::int64_t, kOutputs> left = count, runLeft{};
  std::array<std::size_t, kOutputs> rowBytes{}, runRows{};
  for (int o = 0; o < kOutputs; ++o) {
    const auto oi = static_cast<std::size_t>(o);
    rowBytes[oi] = 4 * (KeepsEveryParameter(o) ? trashFloats : wellFloats);
    runRows[oi] = rowBytes[oi] == 0 ? static_cast<std::size_t>(count[oi])
                                    : std::max<std::size_t>(1, tuning.bufferBytes / rowBytes[oi]);
  }
  std::array<char*, kOutputs> next{};
  std::size_t start = 0;
  // Column by column over a block small enough that its columns and rows
  // stay in the first-level cache.
  auto gather = [&] {
    for (std::size_t k = 0; k < wellFloats; ++k) {
      const float* src = keptColumns[k] + start;
      for (const Target& t : wellRows) StoreFloatLE(t.dest + 4 * k, src[t.event]);
    }
    for (std::size_t k = 0; k < trashFloats; ++k) {
      const float* src = allColumns[k] + start;
      for (const Target& t : trashRows) StoreFloatLE(t.dest + 4 * k, src[t.event]);
    }
    wellRows.clear();
    trashRows.clear();
  };
  // About a hundred reports over the pass, at block boundaries.
  const std::size_t reportEvery = std::max<std::size_t>(1, events / block / 100) * block;
  ReportProgress(progress, kStage, 0.0);
  for (; start < events; start += block) {
    if (start % reportEvery == 0 && start > 0)
      ReportProgress(progress, kStage, static_cast<double>(start) / static_cast<double>(events));
    const std::size_t n = std::min(block, events - start);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t oi = outputOfEvent(start + i);
      if (runLeft[oi] == 0) {
        // A new claim may flush the writer: fill what is pending first.
        gather();
        const std::int64_t rows = std::min<std::int64_t>(left[oi], static_cast<std::int64_t>(runRows[oi]));
        next[oi] = writer[oi]->ClaimEvents(static_cast<std::size_t>(rows) * rowBytes[oi] / 4, rows);
        runLeft[oi] = rows;
        left[oi] -= rows;
      }
      --runLeft[oi];
      (KeepsEveryParameter(static_cast<int>(oi)) ? trashRows : wellRows).push_back({static_cast<std::uint32_t>(i), next[oi]});
      next[oi] += rowBytes[oi];
    }
    gather();
  }
  // The last chance to stop: the writers still hold temporary files only.
  ReportProgress(progress, kStage, 1.0);

  for (int o = 0; o < kOutputs; ++o) {
    auto& w = writer[static_cast<std::size_t>(o)];
    if (!w) continue;
    CountOutput(result, o, w->Count);
    w->EndData(0);
    result.files.push_back(w->FileName());
    w.reset();
  }
  return result;
}

}  // namespace dbc
