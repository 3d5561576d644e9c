#include "app/export.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>

#include "app/plate.h"
#include "fcs/fcs_write.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

// Trash, then A01..H12, then the ambiguous events.
constexpr int kAmbiguousOutput = 1 + kPlateRows * kPlateColumns;
constexpr int kOutputs = kAmbiguousOutput + 1;

// The outputs that keep every parameter.
bool KeepsEveryParameter(int output) { return output == 0 || output == kAmbiguousOutput; }

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

// Output 0 is the trash file, 1 + row * 12 + column a well, then the
// ambiguous events.
std::unique_ptr<TFCSWrite> OpenOutput(const ExportJob& job, const ExportPlan& plan, int output,
                                      std::size_t bufferBytes = TOutputFile::kDefaultBuffer) {
  auto w = std::make_unique<TFCSWrite>(OutputFileName(job.dir, output), bufferBytes);
  if (KeepsEveryParameter(output)) {
    w->Text.Assign(plan.trashText);
    if (output == kAmbiguousOutput) w->Text.Values[plan.trashKey] = "ambiguous";
  } else {
    w->Text.Assign(plan.wellText);
    w->Text.Values[plan.wellKey] = WellName((output - 1) / kPlateColumns, (output - 1) % kPlateColumns);
  }
  w->BeginData();
  return w;
}

// The linear values of a log-amplified parameter. Its values are mostly
// whole channel numbers below the range: those are looked up in a table of
// the conversion's own results, the others converted one by one.
class LinearColumn {
 public:
  explicit LinearColumn(const TLogToLinear& f) : f_(f) {
    const double size = std::min(std::floor(f.range), static_cast<double>(kMaxTable));
    table_.resize(size >= 1 ? static_cast<std::size_t>(size) : 0);
    for (std::size_t x = 0; x < table_.size(); ++x) table_[x] = f(static_cast<float>(x));
  }
  float operator()(float x) const noexcept {
    if (x >= 0 && x < static_cast<float>(table_.size())) {
      const auto i = static_cast<std::size_t>(x);
      if (static_cast<float>(i) == x) return table_[i];
    }
    return f_(x);
  }

 private:
  static constexpr std::size_t kMaxTable = std::size_t{1} << 20;
  TLogToLinear f_;
  std::vector<float> table_;
};

// The kept columns of an output with the conversion each one's values get
// (none for most).
struct Columns {
  std::vector<const float*> values;
  std::vector<const LinearColumn*> linear;
};

Columns ColumnsOf(const TSingleMatrix& data, const TIntVector& keep,
                  const std::vector<std::unique_ptr<LinearColumn>>& linear) {
  Columns c;
  for (int p : keep) {
    const auto pi = static_cast<std::size_t>(p);
    c.values.push_back(data[pi].data());
    c.linear.push_back(linear[pi].get());
  }
  return c;
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

ExportPlan PlanExport(const ExportJob& job) {
  const int par = ParCountOf(job);
  ExportPlan plan;
  plan.params = ParameterOutputs(*job.text, par, *job.data, job.events);
  TIntVector all(static_cast<std::size_t>(par));
  for (int p = 0; p < par; ++p) all[static_cast<std::size_t>(p)] = p;
  plan.keep = all;
  if (!job.includeBarcode)
    for (int p : job.bit2par) plan.keep.erase(std::find(plan.keep.begin(), plan.keep.end(), p));
  plan.trashText = OutputText(*job.text, par, all, plan.params, "trash", job.source);
  plan.wellText = OutputText(*job.text, par, plan.keep, plan.params, WellName(0, 0), job.source);
  plan.trashKey = static_cast<std::size_t>(plan.trashText.KeyIndex(kWellKeyword));
  plan.wellKey = static_cast<std::size_t>(plan.wellText.KeyIndex(kWellKeyword));
  return plan;
}

ExportResult ExportPlateReference(const ExportJob& job) {
  CheckJob(job);
  ExportResult result;
  if (job.events == 0) return result;
  const TSingleMatrix& data = *job.data;
  const TByteVector& codes = *job.codes;
  auto ambiguous = [&job](std::size_t e) { return job.ambiguous && (*job.ambiguous)[e] != 0; };
  const int par = ParCountOf(job);
  const ExportPlan plan = PlanExport(job);
  // An event's values as the outputs hold them.
  auto getRow = [&](std::size_t e) {
    TSingleVector row(static_cast<std::size_t>(par));
    for (std::size_t p = 0; p < row.size(); ++p) {
      const auto& linear = plan.params[p].linear;
      row[p] = linear ? (*linear)(data[p][e]) : data[p][e];
    }
    return row;
  };

  MakeTrashFolder(job.dir);
  {
    auto w = OpenOutput(job, plan, 0);
    for (std::size_t e = 0; e < job.events; ++e)
      if (code2well[codes[e]].col == -1 && !ambiguous(e)) w->WriteData(getRow(e));
    result.trash = w->Count;
    w->EndData(0);
    result.files.push_back(TrashFileName(job.dir));
  }

  for (int r = 0; r < kPlateRows; ++r)
    for (int c = 0; c < kPlateColumns; ++c) {
      const std::uint8_t code = well2code[r][c];
      std::unique_ptr<TFCSWrite> w;
      for (std::size_t e = 0; e < job.events; ++e) {
        if (codes[e] != code || ambiguous(e)) continue;
        if (!w) w = OpenOutput(job, plan, 1 + r * kPlateColumns + c);
        const TSingleVector full = getRow(e);
        TSingleVector row(plan.keep.size());
        for (std::size_t k = 0; k < plan.keep.size(); ++k)
          row[k] = full[static_cast<std::size_t>(plan.keep[k])];
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
    if (!w) w = OpenOutput(job, plan, kAmbiguousOutput);
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

  const ExportPlan plan = PlanExport(job);
  TIntVector all(static_cast<std::size_t>(par));
  for (int p = 0; p < par; ++p) all[static_cast<std::size_t>(p)] = p;
  std::vector<std::unique_ptr<LinearColumn>> linear(static_cast<std::size_t>(par));
  for (std::size_t p = 0; p < linear.size(); ++p)
    if (plan.params[p].linear) linear[p] = std::make_unique<LinearColumn>(*plan.params[p].linear);
  const Columns allColumns = ColumnsOf(data, all, linear), keptColumns = ColumnsOf(data, plan.keep, linear);
  const std::size_t trashFloats = allColumns.values.size(), wellFloats = keptColumns.values.size();

  std::array<std::int64_t, kOutputs> count{};
  for (std::size_t e = 0; e < events; ++e) ++count[outputOfEvent(e)];

  // The trash file is written even without events; a well only with.
  MakeTrashFolder(job.dir);
  std::array<std::unique_ptr<TFCSWrite>, kOutputs> writer;
  for (int o = 0; o < kOutputs; ++o) {
    if (o != 0 && count[static_cast<std::size_t>(o)] == 0) continue;
    writer[static_cast<std::size_t>(o)] = OpenOutput(job, plan, o, std::max<std::size_t>(tuning.bufferBytes, 1));
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
  auto gatherInto = [&](const Columns& columns, const std::vector<Target>& rows) {
    for (std::size_t k = 0; k < columns.values.size(); ++k) {
      const float* src = columns.values[k] + start;
      if (const LinearColumn* linear = columns.linear[k])
        for (const Target& t : rows) StoreFloatLE(t.dest + 4 * k, (*linear)(src[t.event]));
      else
        for (const Target& t : rows) StoreFloatLE(t.dest + 4 * k, src[t.event]);
    }
  };
  auto gather = [&] {
    gatherInto(keptColumns, wellRows);
    gatherInto(allColumns, trashRows);
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
