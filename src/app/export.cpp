#include "app/export.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <thread>

#include "app/plate.h"
#include "fcs/fcs_write.h"
#include "stats/worker_pool.h"
#include "util/errors.h"
#include "util/huge_page_allocator.h"
#include "util/simd.h"
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

// rows[i * P + p] := the file's bytes of the value that the output holds
// for columns[p][start + i] (converted to linear when the column has a
// conversion), for the n events from start and the P parameters: four
// columns by four events at a time through a transpose of vectors where no
// conversion is needed, the rest one value at a time.
void ColumnsToRows(const Columns& columns, std::size_t start, std::size_t n, float* rows) {
  const std::size_t P = columns.values.size();
  const std::size_t n4 = std::endian::native == std::endian::little ? n - n % 4 : 0;
  auto plain = [&](std::size_t p) { return columns.linear[p] == nullptr; };
  for (std::size_t p = 0; p < P;) {
    if (n4 > 0 && p + 4 <= P && plain(p) && plain(p + 1) && plain(p + 2) && plain(p + 3)) {
      const float *c0 = columns.values[p] + start, *c1 = columns.values[p + 1] + start,
                  *c2 = columns.values[p + 2] + start, *c3 = columns.values[p + 3] + start;
      for (std::size_t i = 0; i < n4; i += 4) {
        const simd::F4 a = simd::Load(c0 + i), b = simd::Load(c1 + i), c = simd::Load(c2 + i), d = simd::Load(c3 + i);
        const simd::F4 ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5), ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
        const simd::F4 cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5), cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
        float* row = rows + i * P + p;
        simd::Store(row, __builtin_shufflevector(ab01, cd01, 0, 1, 4, 5));
        simd::Store(row + P, __builtin_shufflevector(ab01, cd01, 2, 3, 6, 7));
        simd::Store(row + 2 * P, __builtin_shufflevector(ab23, cd23, 0, 1, 4, 5));
        simd::Store(row + 3 * P, __builtin_shufflevector(ab23, cd23, 2, 3, 6, 7));
      }
      for (std::size_t k = p; k < p + 4; ++k)
        for (std::size_t i = n4; i < n; ++i) rows[i * P + k] = columns.values[k][start + i];
      p += 4;
      continue;
    }
    const float* src = columns.values[p] + start;
    float* dest = rows + p;
    if (const LinearColumn* linear = columns.linear[p])
      for (std::size_t i = 0; i < n; ++i) dest[i * P] = LittleEndianFloat((*linear)(src[i]));
    else
      for (std::size_t i = 0; i < n; ++i) dest[i * P] = LittleEndianFloat(src[i]);
    ++p;
  }
}

// n bytes (a multiple of four) from src to dest, which do not overlap:
// 16 bytes at a time, inline (a row is copied per event).
inline void CopyRow(char* dest, const char* src, std::size_t n) {
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    simd::F4 v;
    std::memcpy(&v, src + i, 16);
    std::memcpy(dest + i, &v, 16);
  }
  for (; i < n; i += 4) std::memcpy(dest + i, src + i, 4);
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
  const auto P = static_cast<std::size_t>(par);
  const std::array<int, kCodeCount> outputOf = OutputOfCode();
  auto outputOfEvent = [&](std::size_t e) {
    return static_cast<std::size_t>(ambiguous && ambiguous[e] ? kAmbiguousOutput : outputOf[codes[e]]);
  };

  const ExportPlan plan = PlanExport(job);
  TIntVector all(P);
  for (int p = 0; p < par; ++p) all[static_cast<std::size_t>(p)] = p;
  std::vector<std::unique_ptr<LinearColumn>> linear(P);
  for (std::size_t p = 0; p < P; ++p)
    if (plan.params[p].linear) linear[p] = std::make_unique<LinearColumn>(*plan.params[p].linear);
  const Columns allColumns = ColumnsOf(data, all, linear);
  const TIntVector& keep = plan.keep;
  // A well's row is the event's full row without the barcode parameters:
  // the runs of consecutive kept parameters, as (byte offset, bytes).
  std::vector<std::pair<std::size_t, std::size_t>> wellPieces;
  for (std::size_t k = 0; k < keep.size();) {
    std::size_t j = k;
    while (j + 1 < keep.size() && keep[j + 1] == keep[j] + 1) ++j;
    wellPieces.emplace_back(4 * static_cast<std::size_t>(keep[k]), 4 * (j - k + 1));
    k = j + 1;
  }
  std::array<std::size_t, kOutputs> rowBytes{};
  for (std::size_t oi = 0; oi < kOutputs; ++oi)
    rowBytes[oi] = KeepsEveryParameter(static_cast<int>(oi)) ? 4 * P : 4 * keep.size();

  // The events are shared among the workers in consecutive ranges; each
  // range's rows of an output follow those of the ranges before it in the
  // output's file.
  int workers = tuning.workers > 0 ? tuning.workers
                                   : std::min(static_cast<int>(std::thread::hardware_concurrency()),
                                              static_cast<int>(std::min<std::size_t>(events / 4096 + 1, 64)));
  workers = std::max(1, workers);
  const auto W = static_cast<std::size_t>(workers);
  std::vector<std::size_t> first(W + 1);
  for (std::size_t w = 0; w <= W; ++w) first[w] = events / W * w + std::min(w, events % W);
  std::vector<std::array<std::int64_t, kOutputs>> rows(W);
  std::array<std::int64_t, kOutputs> count{};
  for (std::size_t w = 0; w < W; ++w) {
    rows[w].fill(0);
    for (std::size_t e = first[w]; e < first[w + 1]; ++e) ++rows[w][outputOfEvent(e)];
    for (std::size_t oi = 0; oi < kOutputs; ++oi) count[oi] += rows[w][oi];
  }

  // The trash file is written even without events; a well only with.
  std::array<bool, kOutputs> written{};
  for (std::size_t oi = 0; oi < kOutputs; ++oi) written[oi] = oi == 0 || count[oi] > 0;

  // Per range and output: where its rows go, and a run of up to some
  // bufferBytes staged before it is written (rows without values, of wells
  // with only the seven parameters, are only counted).
  constexpr std::size_t kOnlyCounted = std::numeric_limits<std::size_t>::max();
  struct Range {
    std::array<std::uint64_t, kOutputs> offset{};
    std::array<char*, kOutputs> run{};
    std::array<std::size_t, kOutputs> runRows{}, staged{};
    std::unique_ptr<char, void (*)(char*)> arena{nullptr, [](char* p) { huge_page_free(p, 0); }};
    int error = 0, errorOutput = kOutputs;
  };
  std::vector<Range> range(W);
  for (Range& r : range) {
    const auto w = static_cast<std::size_t>(&r - range.data());
    std::size_t bytes = 0;
    for (std::size_t oi = 0; oi < kOutputs; ++oi) {
      if (!written[oi]) continue;
      r.runRows[oi] = rowBytes[oi] == 0 ? kOnlyCounted
                                        : std::min(std::max<std::size_t>(1, tuning.bufferBytes / rowBytes[oi]),
                                                   static_cast<std::size_t>(rows[w][oi]));
      if (r.runRows[oi] != kOnlyCounted) bytes += r.runRows[oi] * rowBytes[oi];
    }
    r.arena.reset(static_cast<char*>(huge_page_alloc(bytes)));
    char* at = r.arena.get();
    for (std::size_t oi = 0; oi < kOutputs; ++oi)
      if (written[oi] && r.runRows[oi] != kOnlyCounted) {
        r.run[oi] = at;
        at += r.runRows[oi] * rowBytes[oi];
      }
  }

  // This thread gathers the first range and creates the files in order
  // meanwhile (a creation may wait a while on the file system's journal):
  // one between two of its blocks, and any it needs itself. Another worker
  // with a full run waits until its output's file is there. The writers
  // keep no buffer of their own: runs of rows go straight to the file at
  // their offsets. Only this thread tells the progress: about a hundred
  // reports as the events are gathered, whichever worker gathered them.
  enum : int { kPending = 0, kReady = 1, kGivenUp = 2 };
  std::array<std::unique_ptr<TFCSWrite>, kOutputs> writer;
  std::array<std::atomic<int>, kOutputs> state{};
  std::atomic<bool> failed{false};
  std::size_t created = 0;  // outputs before this one are created
  auto createUpTo = [&](std::size_t last) {
    for (; created <= last && created < kOutputs; ++created) {
      const std::size_t oi = created;
      if (!written[oi]) continue;
      auto w = OpenOutput(job, plan, static_cast<int>(oi), 1);
      auto offset = static_cast<std::uint64_t>(w->datastart);
      for (std::size_t r = 0; r < W; ++r) {
        range[r].offset[oi] = offset;
        offset += static_cast<std::uint64_t>(rows[r][oi]) * rowBytes[oi];
      }
      writer[oi] = std::move(w);
      state[oi].store(kReady, std::memory_order_release);
      state[oi].notify_all();
    }
  };
  const std::size_t reportEvery = std::max<std::size_t>(1, events / 100);
  std::size_t nextReport = reportEvery;
  std::atomic<std::size_t> gathered{0};
  auto reportGathered = [&] {
    if (!progress) return;
    for (const std::size_t g = gathered.load(); nextReport < events && nextReport <= g; nextReport += reportEvery)
      ReportProgress(progress, kStage, static_cast<double>(nextReport) / static_cast<double>(events));
  };

  // Writes the staged run once the file is there; false (with the error
  // kept) when that fails, or when the files could not all be created.
  auto writeRun = [&](Range& r, std::size_t oi, bool creator) {
    const std::size_t bytes = r.staged[oi] * rowBytes[oi];
    if (bytes > 0) {
      if (creator) createUpTo(oi);
      state[oi].wait(kPending, std::memory_order_acquire);
      if (state[oi].load(std::memory_order_acquire) != kReady) return false;
      if (const int err = writer[oi]->fcs->WriteAt(r.offset[oi], r.run[oi], bytes)) {
        if (oi < static_cast<std::size_t>(r.errorOutput)) {
          r.error = err;
          r.errorOutput = static_cast<int>(oi);
        }
        return false;
      }
    }
    r.offset[oi] += bytes;
    r.staged[oi] = 0;
    return true;
  };

  // Block by block, the block's values are first turned into rows (in a
  // buffer that stays in the cache), then each event's row, or its kept
  // pieces, is copied to its output's run.
  const std::size_t block =
      std::max<std::size_t>(1, std::min(std::max<std::size_t>(tuning.blockEvents, 1), (256 * 1024) / (4 * P)));
  auto gatherRange = [&](std::size_t w) {
    const bool creator = w == 0;
    Range& r = range[w];
    // Floats whose bytes are those of the file (little-endian).
    std::vector<float> rowsOfBlock(block * P);
    float* R = rowsOfBlock.data();
    for (std::size_t start = first[w]; start < first[w + 1]; start += block) {
      if (failed.load(std::memory_order_relaxed)) return;
      if (creator) {
        createUpTo(created);
        reportGathered();
      }
      const std::size_t n = std::min(block, first[w + 1] - start);
      ColumnsToRows(allColumns, start, n, R);
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t oi = outputOfEvent(start + i);
        if (r.staged[oi] == r.runRows[oi] && !writeRun(r, oi, creator)) {
          failed = true;
          return;
        }
        const char* row = reinterpret_cast<const char*>(R + i * P);
        if (KeepsEveryParameter(static_cast<int>(oi))) {
          CopyRow(r.run[oi] + r.staged[oi] * rowBytes[oi], row, rowBytes[oi]);
        } else if (rowBytes[oi] > 0) {
          char* dest = r.run[oi] + r.staged[oi] * rowBytes[oi];
          for (const auto& [at, bytes] : wellPieces) {
            CopyRow(dest, row + at, bytes);
            dest += bytes;
          }
        }
        ++r.staged[oi];
      }
      gathered += n;
    }
    if (creator) createUpTo(kOutputs - 1);
  };
  const TWorkerPool pool(workers);
  pool.Run(workers, [&](int w, int) {
    if (w != 0) {
      gatherRange(static_cast<std::size_t>(w));
      return;
    }
    // Files not created by the end (this range stopped) are given up, so
    // that no worker waits for them. This thread's error (a file that
    // cannot be created, a stop) ends the other workers too, and is the
    // one raised.
    auto giveUp = [&] {
      for (auto& st : state) {
        int pending = kPending;
        st.compare_exchange_strong(pending, kGivenUp);
        st.notify_all();
      }
    };
    try {
      ReportProgress(progress, kStage, 0.0);
      MakeTrashFolder(job.dir);
      gatherRange(0);
    } catch (...) {
      failed = true;
      giveUp();
      throw;
    }
    giveUp();
  });
  auto raise = [&](const Range& r) {
    throw EWriteError(WriteErrorText(writer[static_cast<std::size_t>(r.errorOutput)]->FileName(), r.error));
  };
  for (const Range& r : range)
    if (r.error) raise(r);
  // The last chances to stop: the writers still hold temporary files only.
  reportGathered();
  ReportProgress(progress, kStage, 1.0);

  // Each output is completed in turn: the last runs of every range, then
  // its header and keyword text.
  for (int o = 0; o < kOutputs; ++o) {
    const auto oi = static_cast<std::size_t>(o);
    auto& w = writer[oi];
    if (!w) continue;
    for (Range& r : range)
      if (r.staged[oi] > 0 && !writeRun(r, oi, true)) raise(r);
    w->fcs->Seek(static_cast<std::uint64_t>(w->datastart) + static_cast<std::uint64_t>(count[oi]) * rowBytes[oi]);
    w->Count = count[oi];
    CountOutput(result, o, w->Count);
    w->EndData(0);
    result.files.push_back(w->FileName());
    w.reset();
  }
  return result;
}

}  // namespace dbc
