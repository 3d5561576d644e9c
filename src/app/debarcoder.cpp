#include "app/debarcoder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/output_folder.h"
#include "app/plate.h"
#include "app/sha256.h"
#include "fcs/byte_source.h"
#include "fcs/dataset.h"
#include "fcs/fcs_errors.h"
#include "fcs/fcs_stream.h"
#include "stats/log_scale.h"
#include "stats/worker_pool.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

std::string PathWithoutExtension(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path;
  return path.substr(0, dot);
}

PlateCounts CountsFromPerCode(const std::array<std::int64_t, 128>& perCode,
                              const std::array<std::int64_t, 128>& ambiguousPerCode) {
  PlateCounts c;
  c.perCode = perCode;
  c.ambiguousPerCode = ambiguousPerCode;
  for (const std::int64_t n : ambiguousPerCode) c.ambiguous += n;
  c.total = c.ambiguous;
  for (int code = 0; code < kCodeCount; ++code) {
    const std::int64_t n = c.perCode[static_cast<std::size_t>(code)];
    const TWellPos w = code2well[code];
    if (w.col < 0)
      c.trash += n;
    else
      c.wells[w.row][w.col] += n;
    c.total += n;
  }
  return c;
}

PlateCounts CountCodes(const TByteVector& codes, const TByteVector* ambiguous) {
  std::array<std::int64_t, 128> perCode{}, aside{};
  if (ambiguous) {
    for (std::size_t i = 0; i < codes.size(); ++i)
      ++(i < ambiguous->size() && (*ambiguous)[i] != 0 ? aside : perCode)[codes[i] & 0x7F];
  } else {
    for (std::uint8_t code : codes) ++perCode[code & 0x7F];
  }
  return CountsFromPerCode(perCode, aside);
}

Debarcoder::Debarcoder(Notice notice) : notice_(std::move(notice)) {
  static std::once_flag tables;
  std::call_once(tables, BuildPlateTables);
  ResetBits();
}

Debarcoder::~Debarcoder() = default;

std::size_t Debarcoder::Slot(int bit) {
  if (bit < 1 || bit > kBits) throw Exception("Bit " + std::to_string(bit) + " is not 1..7");
  return static_cast<std::size_t>(bit - 1);
}

// --- the file ---

// The reader's notices are held until the file is read: the one that says
// the file is no FCS file becomes the error raised, the others are passed on.
void Debarcoder::Open(const std::string& path) {
  Close();
  std::vector<std::string> notices;
  auto stream = std::make_unique<TFCStream>(path, false, true,
                                            [&notices](const std::string& t) { notices.push_back(t); });
  Adopt(std::move(stream), path, notices);
  std::error_code ec;
  inputBytes_ = std::filesystem::file_size(path, ec);
}

void Debarcoder::OpenBytes(std::string bytes, const std::string& name) {
  Close();
  std::vector<std::string> notices;
  const std::uint64_t size = bytes.size();
  std::string sha256 = Sha256Hex(bytes);
  auto stream = std::make_unique<TFCStream>(MemoryByteSource(std::move(bytes)), name, false, true,
                                            [&notices](const std::string& t) { notices.push_back(t); });
  Adopt(std::move(stream), name, notices);
  inputBytes_ = size;
  inputSha256_ = std::move(sha256);
  inMemory_ = true;
}

void Debarcoder::Adopt(std::unique_ptr<TFCStream> stream, const std::string& path,
                       const std::vector<std::string>& notices) {
  const std::string notFcs = "File " + path + " does not look like FCS file!";
  const bool bad = stream->badfile || stream->dataset.empty();
  if (notice_)
    for (const std::string& n : notices)
      if (!bad || n != notFcs) notice_(n);
  if (bad) throw EFCSBadFile(notFcs);
  if (stream->dataset[0]->parcount() < kBits) throw Exception("Not enough parameters");
  fcsfile_ = std::move(stream);
  path_ = path;
}

void Debarcoder::Close() noexcept {
  fcsfile_.reset();
  path_.clear();
  inputBytes_ = 0;
  inputSha256_.clear();
  inMemory_ = false;
  ResetBits();
}

const TDataSet* Debarcoder::DataSet() const noexcept {
  return fcsfile_ && !fcsfile_->dataset.empty() ? fcsfile_->dataset[0].get() : nullptr;
}

std::int64_t Debarcoder::Events() const noexcept {
  const TDataSet* ds = DataSet();
  return ds ? std::max(ds->GetEventCount(), 0) : 0;
}

int Debarcoder::ParameterCount() const noexcept {
  const TDataSet* ds = DataSet();
  return ds ? ds->parcount() : 0;
}

std::vector<std::string> Debarcoder::ParameterNames() const {
  std::vector<std::string> names;
  if (const TDataSet* ds = DataSet())
    ds->FillComboBox([&names] { names.clear(); }, [&names](const std::string& n) { names.push_back(n); });
  return names;
}

int Debarcoder::FindParameter(const std::string& name) const {
  const std::vector<std::string> names = ParameterNames();
  const auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

void Debarcoder::RequireFile() const {
  if (!HasFile()) throw Exception("No file is open");
}

void Debarcoder::RequireEvents() const {
  if (Events() == 0) throw Exception("The file holds no events");
}

// --- the bits ---

void Debarcoder::ResetBits() noexcept {
  bit2par_.fill(-1);
  thresholds_.fill(0.0);
  for (BitState& b : bits_) b = BitState{};
  ClearClassification();
}

void Debarcoder::ClearClassification() noexcept {
  codes_.clear();
  codes_.shrink_to_fit();
  ambiguous_.clear();
  ambiguous_.shrink_to_fit();
  counts_ = PlateCounts{};
}

void Debarcoder::ProposeBits() {
  const std::vector<std::string> names = ParameterNames();
  for (int i = 1; i <= kBits; ++i) {
    const std::string prefix = "BC" + std::to_string(i);
    for (std::size_t idx = 0; idx < names.size(); ++idx)
      if (StartsWith(names[idx], prefix)) {
        AssignBit(8 - i, static_cast<int>(idx));
        break;
      }
  }
}

void Debarcoder::AssignBit(int bit, int parameter) {
  const std::size_t slot = Slot(bit);
  if (parameter < -1 || parameter >= ParameterCount())
    throw Exception("List index out of bounds (" + std::to_string(parameter) + ")");
  if (bit2par_[slot] == parameter) return;
  const bool wasLoaded = bits_[slot].loaded;
  if (parameter >= 0)
    for (std::size_t other = 0; other < bits_.size(); ++other)
      if (other != slot && bit2par_[other] == parameter) {
        bit2par_[other] = -1;
        bits_[other] = BitState{};
        ClearClassification();
      }
  bit2par_[slot] = parameter;
  bits_[slot] = BitState{};
  bits_[slot].parameter = parameter;
  ClearClassification();
  if (wasLoaded && parameter >= 0) LoadBit(bit);
}

int Debarcoder::BitParameter(int bit) const { return bit2par_[Slot(bit)]; }

int Debarcoder::FirstUndefinedBit() const noexcept {
  const int par = ParameterCount();
  for (int bit = 1; bit <= kBits; ++bit) {
    const int p = bit2par_[static_cast<std::size_t>(bit - 1)];
    if (p < 0 || p >= par) return bit;
  }
  return 0;
}

// --- Load ---

// The seven columns are independent: the workers take them one at a time,
// each with its own scratch, so that two cores load about twice as fast.
// The progress is told from this thread (the pool's first worker), bit by
// bit in order as the bits are done.
void Debarcoder::Load(const Progress& progress) {
  RequireFile();
  if (const int bit = FirstUndefinedBit()) throw Exception("Bit " + std::to_string(bit) + " is not defined");
  RequireEvents();
  const TWorkerPool pool(std::min(kBits, static_cast<int>(std::thread::hardware_concurrency())));
  if (scratch_.size() < static_cast<std::size_t>(pool.Workers()))
    scratch_.resize(static_cast<std::size_t>(pool.Workers()));
  std::atomic<int> next{0}, done{0};
  int reported = 0;
  // "Loading bit n" for every n up to the one after those done. Load
  // cannot be stopped halfway, so the answer is not asked for.
  auto report = [&] {
    if (!progress) return;
    for (const int upTo = std::min(kBits, done.load() + 1); reported < upTo; ++reported)
      progress("Loading bit " + std::to_string(reported + 1), static_cast<double>(reported) / kBits);
  };
  try {
    pool.Run(pool.Workers(), [&](int worker, int) {
      for (int slot; (slot = next.fetch_add(1)) < kBits;) {
        if (worker == 0) report();
        LoadColumn(static_cast<std::size_t>(slot), scratch_[static_cast<std::size_t>(worker)]);
        done.fetch_add(1);
      }
    });
  } catch (...) {
    ClearClassification();
    throw;
  }
  report();
  if (progress) progress("Loading bit " + std::to_string(kBits), 1.0);
  Reclassify();
}

void Debarcoder::LoadBit(int bit) {
  RequireFile();
  const std::size_t slot = Slot(bit);
  const int p = bit2par_[slot];
  if (p < 0 || p >= ParameterCount()) throw Exception("Bit " + std::to_string(bit) + " is not defined");
  if (scratch_.empty()) scratch_.resize(1);
  LoadColumn(slot, scratch_[0]);
  Reclassify();
}

// Touches only the bit's own state, so that columns load side by side. The
// column's buffer is reused from the previous load.
void Debarcoder::LoadColumn(std::size_t slot, TColumnScratch& scratch) {
  const TDataSet& ds = *DataSet();
  const int p = bit2par_[slot];
  const auto pi = static_cast<std::size_t>(p);
  BitState& b = bits_[slot];
  b.loaded = false;
  b.scale.reset();
  b.parameter = p;
  b.column = ds.data.at(pi);
  // A parameter the file itself declares logarithmic is used as it is;
  // the others go on the log scale and lose their outliers.
  if (!ds.logpar.at(pi)) {
    TScale scale;
    float low = 0, high = 0;
    CropAndLogColumn(b.column, true, ds.Decades, ds.CropOutliers, scale, low, high, scratch);
    if (scale.decade > 0) b.scale = scale;
  }
  b.histogram = Thistogram::Create(b.column, kHistogramPoints, -1, scratch);
  b.guessed = GuessThreshold(b.histogram, guess_);
  b.loaded = true;
  thresholds_[slot] = b.guessed;
}

bool Debarcoder::IsLoaded(int bit) const { return bits_[Slot(bit)].loaded; }

bool Debarcoder::AllLoaded() const noexcept {
  return HasFile() && std::all_of(bits_.begin(), bits_.end(), [](const BitState& b) { return b.loaded; });
}

const Thistogram* Debarcoder::Histogram(int bit) const {
  const BitState& b = bits_[Slot(bit)];
  return b.loaded ? &b.histogram : nullptr;
}

const TSingleVector& Debarcoder::TransformedColumn(int bit) const { return bits_[Slot(bit)].column; }

double Debarcoder::GuessedThreshold(int bit) const { return bits_[Slot(bit)].guessed; }

std::optional<TScale> Debarcoder::LogScale(int bit) const {
  const BitState& b = bits_[Slot(bit)];
  return b.loaded ? b.scale : std::nullopt;
}

// --- thresholds and the live classification ---

double Debarcoder::Threshold(int bit) const { return thresholds_[Slot(bit)]; }

// One pass over the seven columns, in blocks of events shared among the
// workers; each block counts its own codes. A float v is at or above the
// double threshold t exactly when it is at or above FloatAtOrAbove(t), so
// the compares run on floats, several events at a time.
void Debarcoder::Reclassify() {
  if (!AllLoaded()) {
    ClearClassification();
    return;
  }
  const auto events = static_cast<std::size_t>(Events());
  codes_.resize(events);
  std::array<const float*, kBits> column{};
  std::array<float, kBits> at{};
  for (std::size_t j = 0; j < kBits; ++j) {
    column[j] = bits_[j].column.data();
    at[j] = FloatAtOrAbove(thresholds_[j]);
  }
  constexpr std::size_t kBlock = std::size_t{1} << 16;
  const auto blocks = static_cast<int>((events + kBlock - 1) / kBlock);
  std::vector<std::array<std::int64_t, 128>> perBlock(static_cast<std::size_t>(blocks));
  std::uint8_t* codes = codes_.data();
  const TWorkerPool pool(std::min(blocks, static_cast<int>(std::thread::hardware_concurrency())));
  pool.Run(blocks, [&](int first, int count) {
    for (int blk = first; blk < first + count; ++blk) {
      const std::size_t from = static_cast<std::size_t>(blk) * kBlock;
      const std::size_t to = std::min(events, from + kBlock);
      const float *v0 = column[0], *v1 = column[1], *v2 = column[2], *v3 = column[3], *v4 = column[4],
                  *v5 = column[5], *v6 = column[6];
      for (std::size_t i = from; i < to; ++i)
        codes[i] = static_cast<std::uint8_t>((v0[i] >= at[0]) | (v1[i] >= at[1]) << 1 | (v2[i] >= at[2]) << 2 |
                                             (v3[i] >= at[3]) << 3 | (v4[i] >= at[4]) << 4 |
                                             (v5[i] >= at[5]) << 5 | (v6[i] >= at[6]) << 6);
      std::array<std::int64_t, 128>& n = perBlock[static_cast<std::size_t>(blk)];
      for (std::size_t i = from; i < to; ++i) ++n[codes[i]];
    }
  });
  std::array<std::int64_t, 128> perCode{};
  for (const auto& n : perBlock)
    for (std::size_t c = 0; c < perCode.size(); ++c) perCode[c] += n[c];
  // With a margin the ambiguous events are marked and counted apart.
  if (margin_ > 0) {
    MarkAmbiguous();
    return;
  }
  ambiguous_.assign(events, 0);
  counts_ = CountsFromPerCode(perCode);
}

// Every event's ambiguous bits from scratch, then the counts (the codes
// stay).
void Debarcoder::MarkAmbiguous() {
  const std::size_t events = codes_.size();
  ambiguous_.assign(events, 0);
  if (margin_ > 0) {
    for (int j = 0; j < kBits; ++j) {
      const auto slot = static_cast<std::size_t>(j);
      const double low = thresholds_[slot] - margin_, high = thresholds_[slot] + margin_;
      const float* v = bits_[slot].column.data();
      std::uint8_t* a = ambiguous_.data();
      for (std::size_t i = 0; i < events; ++i) {
        const auto x = static_cast<double>(v[i]);
        a[i] = static_cast<std::uint8_t>(a[i] | (static_cast<unsigned>(x > low && x < high) << j));
      }
    }
  }
  counts_ = CountCodes(codes_, margin_ > 0 ? &ambiguous_ : nullptr);
}

void Debarcoder::SetMargin(double decades) {
  if (!(decades >= 0) || !std::isfinite(decades))
    throw Exception("The margin must be a number of decades, 0 or more");
  if (decades == margin_) return;
  margin_ = decades;
  if (!codes_.empty() && AllLoaded()) MarkAmbiguous();
}

std::int64_t Debarcoder::EventsAbove(int bit) const {
  const BitState& b = bits_[Slot(bit)];
  if (!b.loaded) return 0;
  // With every bit loaded the codes follow the thresholds: the events with
  // the bit set in their code, ambiguous or not.
  if (!codes_.empty()) {
    std::int64_t n = 0;
    for (std::size_t code = 0; code < counts_.perCode.size(); ++code)
      if (code & (std::size_t{1} << Slot(bit))) n += counts_.perCode[code] + counts_.ambiguousPerCode[code];
    return n;
  }
  const double t = thresholds_[Slot(bit)];
  std::int64_t n = 0;
  for (float v : b.column) n += static_cast<double>(v) >= t;
  return n;
}

void Debarcoder::SetThreshold(int bit, double threshold) {
  const std::size_t slot = Slot(bit);
  const double old = thresholds_[slot];
  thresholds_[slot] = threshold;
  if (codes_.empty() || !AllLoaded() || old == threshold) return;
  if (margin_ > 0) {
    MoveWithMargin(slot, threshold);
    return;
  }
  // Only events whose value lies between the old and the new threshold
  // change sides; every other code stays. Each event's bit is compared
  // again (a branch-free pass over one column) and the counts move with
  // the events that flip. (Without a margin no event is ambiguous.)
  const float* v = bits_[slot].column.data();
  std::uint8_t* c = codes_.data();
  const std::size_t n = codes_.size();
  const auto mask = static_cast<std::uint8_t>(1u << slot);
  std::int64_t* perCode = counts_.perCode.data();
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t want = static_cast<double>(v[i]) >= threshold ? mask : 0;
    const std::uint8_t code = c[i];
    if ((code & mask) != want) {
      --perCode[code];
      const auto flipped = static_cast<std::uint8_t>(code ^ mask);
      ++perCode[flipped];
      c[i] = flipped;
    }
  }
  counts_ = CountsFromPerCode(counts_.perCode);
}

namespace {

// A 32-bit value x compared with a 64-bit bound b gives the same answer as
// x compared with the nearest float on the right side of b: x >= b exactly
// when x >= FloatAtOrAbove(b) (util/numeric.h), x < b when x < FloatAtOrAbove(b), x > b when
// x > FloatAtOrBelow(b) (a float above the largest float at or below b is
// above b). Infinities stay; a NaN bound stays NaN, so every comparison
// with it stays false.
float FloatAtOrBelow(double b) {
  const auto f = static_cast<float>(b);
  return static_cast<double>(f) > b ? std::nextafter(f, -std::numeric_limits<float>::infinity()) : f;
}

}  // namespace

// The same with ambiguity: the bit's ambiguous flag is compared again too,
// and an event counts in its code among the events that are not ambiguous
// (slots 0..127 of the tally) or, while any of its bits is ambiguous, among
// those that are (slots 128..255). Block by block, a
// branch-free pass that the compiler vectorizes computes the new code and
// flag of every event (in 32 bits, see FloatAtOrAbove); a second pass
// moves the events that changed.
void Debarcoder::MoveWithMargin(std::size_t slot, double threshold) {
  const float* v = bits_[slot].column.data();
  std::uint8_t* c = codes_.data();
  std::uint8_t* a = ambiguous_.data();
  const std::size_t n = codes_.size();
  const auto mask = static_cast<std::uint8_t>(1u << slot);
  const auto keep = static_cast<std::uint8_t>(~mask);
  const float on = FloatAtOrAbove(threshold);
  const float low = FloatAtOrBelow(threshold - margin_), high = FloatAtOrAbove(threshold + margin_);
  std::array<std::int64_t, 256> tally{};
  std::copy(counts_.perCode.begin(), counts_.perCode.end(), tally.begin());
  std::copy(counts_.ambiguousPerCode.begin(), counts_.ambiguousPerCode.end(), tally.begin() + 128);
  constexpr std::size_t kBlock = 512;
  std::array<std::uint8_t, kBlock> newCode, newAmb;
  for (std::size_t start = 0; start < n; start += kBlock) {
    const std::size_t count = std::min(kBlock, n - start);
    std::uint8_t* cb = c + start;
    std::uint8_t* ab = a + start;
    const float* x = v + start;
    unsigned changed = 0;
    for (std::size_t i = 0; i < count; ++i) {
      newCode[i] = static_cast<std::uint8_t>((cb[i] & keep) | (x[i] >= on ? mask : 0));
      newAmb[i] = static_cast<std::uint8_t>((ab[i] & keep) | ((x[i] > low) & (x[i] < high) ? mask : 0));
      changed |= static_cast<unsigned>((newCode[i] ^ cb[i]) | (newAmb[i] ^ ab[i]));
    }
    if (changed == 0) continue;
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t code = cb[i], amb = ab[i];
      if (newCode[i] != code || newAmb[i] != amb) {
        --tally[(amb ? 128u : 0u) | code];
        ++tally[(newAmb[i] ? 128u : 0u) | newCode[i]];
        cb[i] = newCode[i];
        ab[i] = newAmb[i];
      }
    }
  }
  std::array<std::int64_t, 128> perCode{}, aside{};
  std::copy(tally.begin(), tally.begin() + 128, perCode.begin());
  std::copy(tally.begin() + 128, tally.end(), aside.begin());
  counts_ = CountsFromPerCode(perCode, aside);
}

// --- export ---

std::string Debarcoder::DefaultOutputDir() const { return PathWithoutExtension(path_); }

void Debarcoder::CheckExport() const {
  RequireFile();
  if (const int bit = FirstUndefinedBit()) throw Exception("Bit " + std::to_string(bit) + " is not defined");
  RequireEvents();
  for (int bit = 1; bit <= kBits; ++bit)
    if (!IsLoaded(bit)) throw Exception("Press Load before Export: bit " + std::to_string(bit) + " has no threshold yet");
}

RecordedInput Debarcoder::Input() {
  RequireFile();
  if (inputSha256_.empty()) {
    const FileDigest d = DigestFile(path_);
    if (d.bytes != inputBytes_)
      throw Exception("The file \"" + path_ + "\" has changed since it was opened; open it again");
    inputSha256_ = d.sha256;
  }
  RecordedInput in;
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path_, ec);
  in.path = inMemory_ || ec ? path_ : absolute.lexically_normal().string();
  in.bytes = inputBytes_;
  in.sha256 = inputSha256_;
  in.eventsAnnounced = DataSet()->Text->announced;
  in.eventsRead = Events();
  return in;
}

std::optional<std::string> Debarcoder::ForeignOutputs(const std::string& dir) {
  std::error_code ec;
  if (!std::filesystem::exists(dir + "/" + kRunRecordName, ec)) return std::nullopt;
  RunRecord record;
  try {
    record = ReadRunRecord(dir);
  } catch (const std::exception& e) {
    return "The folder \"" + dir + "\" holds a run record that cannot be read (" + e.what() + ").";
  }
  if (record.input.sha256 == Input().sha256) return std::nullopt;
  return "The folder \"" + dir + "\" holds the outputs of another input, \"" + record.input.path + "\".";
}

RunRecord Debarcoder::MakeRecord(const std::string& dir, const ExportResult& result, bool includeBarcode) {
  RunRecord r;
  r.version = ProgramVersion();
  r.date = UtcTimestamp();
  r.input = Input();
  const std::vector<std::string> names = ParameterNames();
  for (int bit = 1; bit <= kBits; ++bit) {
    RecordedBit& b = r.bits[Slot(bit)];
    b.index = BitParameter(bit);
    b.parameter = names.at(static_cast<std::size_t>(b.index));
    b.guessed = GuessedThreshold(bit);
    b.threshold = Threshold(bit);
    b.above = EventsAbove(bit);
  }
  r.guess = GuessName(guess_);
  r.margin = margin_;
  r.includeBarcode = includeBarcode;
  for (int row = 0; row < kPlateRows; ++row)
    for (int col = 0; col < kPlateColumns; ++col) r.wells[row][col] = result.wells[row][col];
  r.trash = result.trash;
  r.ambiguous = result.ambiguous;
  for (int code = 0; code < kCodeCount; ++code)
    if (code2well[code].col < 0) r.trashByCode.push_back({code, counts_.perCode[static_cast<std::size_t>(code)]});
  // The outputs are read back and digested side by side on the workers.
  r.outputs.resize(result.files.size());
  const TWorkerPool pool(std::min(static_cast<int>(result.files.size()),
                                  static_cast<int>(std::thread::hardware_concurrency())));
  pool.Run(static_cast<int>(result.files.size()), [&](int first, int count) {
    for (int i = first; i < first + count; ++i) {
      const std::string name = RelativeOutputName(dir, result.files[static_cast<std::size_t>(i)]);
      std::int64_t events = name == RelativeOutputName(dir, AmbiguousFileName(dir)) ? result.ambiguous : result.trash;
      for (int row = 0; row < kPlateRows; ++row)
        for (int col = 0; col < kPlateColumns; ++col)
          if (name == "Well_" + WellName(row, col) + ".fcs") events = result.wells[row][col];
      r.outputs[static_cast<std::size_t>(i)] = DescribeOutput(dir, name, events);
    }
  });
  return r;
}

ExportResult Debarcoder::Export(const std::string& dir, bool includeBarcode, const Progress& progress) {
  CheckExport();
  Input();  // an input that changed on disk is refused before anything is written
  const TDataSet& ds = *DataSet();
  std::error_code ec;
  const bool madeDir = !std::filesystem::is_directory(dir, ec);
  MakeOutputFolder(dir);
  const std::string trashDir = dir + "/trash";
  const bool madeTrashDir = !std::filesystem::is_directory(trashDir, ec);
  ExportJob job;
  job.text = ds.Text.get();
  job.data = &ds.data;
  job.events = codes_.size();
  job.codes = &codes_;
  // Without a margin nothing is set aside: the export is the one without.
  job.ambiguous = margin_ > 0 ? &ambiguous_ : nullptr;
  job.bit2par = bit2par_;
  job.includeBarcode = includeBarcode;
  job.dir = dir;
  job.source = path_;
  ExportResult result;
  try {
    result = ExportPlate(job, {}, progress);
  } catch (const ECancelled&) {
    // The outputs are gone with their writers; the folders made for them
    // go too (remove takes only an empty folder).
    if (madeTrashDir) std::filesystem::remove(trashDir, ec);
    if (madeDir) std::filesystem::remove(dir, ec);
    throw;
  }
  // From here on the export completes: the answer is not asked for.
  if (progress) progress("Writing the run record", 1.0);
  std::vector<std::string> written;
  for (const std::string& file : result.files) written.push_back(RelativeOutputName(dir, file));
  RemoveStaleOutputs(dir, written);
  lastRecord_ = MakeRecord(dir, result, includeBarcode);
  WriteReport(dir, Report(lastRecord_));
  WriteRunRecord(dir, lastRecord_);
  return result;
}

ReportData Debarcoder::Report(const RunRecord& record) const {
  ReportData d;
  d.record = record;
  for (int bit = 1; bit <= kBits; ++bit)
    if (const Thistogram* h = Histogram(bit))
      d.histograms[Slot(bit)] = ReportHistogram{{h->Xvalue.begin(), h->Xvalue.end()}, {h->Yvalue.begin(), h->Yvalue.end()}};
  return d;
}

}  // namespace dbc
