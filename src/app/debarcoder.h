#pragma once
// The debarcoding engine: one opened FCS file and the whole job on it,
// through plain calls, with no window concepts. The window's workspace and
// the debarcode command both drive it.
//
//   Open (a path or bytes) -> ProposeBits (from the names "BC1".."BC7") ->
//   AssignBit (optional) -> Load (log scale, clamp, histograms, guessed
//   thresholds, classification) -> SetThreshold (live update of the codes
//   and counts) -> Export into a folder.
//
// Bits are numbered 1 to 7; bit n is bit n-1 of an event's 7-bit code.
//
// Load never changes the data set: every bit's transformed column (log
// scale and clamp) is kept beside the data, the codes are computed on
// those, and an export writes the file's own values.
//
// Errors are exceptions (dbc::Exception and the FCS library's errors)
// carrying the message texts the window shows.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/export.h"
#include "app/report.h"
#include "app/run_record.h"
#include "app/progress.h"
#include "app/threshold_guess.h"
#include "stats/histogram.h"
#include "stats/scale.h"
#include "util/numeric.h"
#include "util/vectors.h"

namespace dbc {

class TFCStream;
class TDataSet;

// Events per code, and the plate's view of them. An ambiguous event (one
// whose value lies within the margin of its bit's threshold on some bit) is
// counted only as ambiguous: not in perCode, a well or the trash.
struct PlateCounts {
  std::array<std::int64_t, 128> perCode{};  // events per 7-bit code (not ambiguous)
  std::array<std::int64_t, 128> ambiguousPerCode{};  // ambiguous events per code
  std::int64_t wells[8][12] = {};           // [row][column]
  std::int64_t trash = 0;                   // events whose code is no well
  std::int64_t ambiguous = 0;               // events set aside by the margin
  std::int64_t total = 0;                   // every event
  std::int64_t InWells() const noexcept { return total - trash - ambiguous; }
};

class Debarcoder {
 public:
  static constexpr int kBits = 7;
  static constexpr int kHistogramPoints = 1024;

  // Receives the notices of the FCS reader (a file that does not look like
  // FCS, ...): the window shows them, the command prints them.
  using Notice = std::function<void(const std::string&)>;

  explicit Debarcoder(Notice notice = {});
  ~Debarcoder();
  Debarcoder(const Debarcoder&) = delete;
  Debarcoder& operator=(const Debarcoder&) = delete;

  // --- the file ---
  // Opens an FCS file (its first data set, with every event). On success
  // the engine holds the new file with every bit unassigned; on failure it
  // holds no file and the error is raised: the reader's error, "File ...
  // does not look like FCS file!" (EFCSBadFile), "Not enough parameters"
  // (fewer parameters than bits). The reader's other notices reach the
  // notice function once the file is read.
  void Open(const std::string& path);
  // The same from bytes in memory; `name` stands for the file name.
  void OpenBytes(std::string bytes, const std::string& name);
  // Forgets the file.
  void Close() noexcept;
  bool HasFile() const noexcept { return fcsfile_ != nullptr; }
  const std::string& Path() const noexcept { return path_; }
  const TFCStream* Stream() const noexcept { return fcsfile_.get(); }
  const TDataSet* DataSet() const noexcept;
  std::int64_t Events() const noexcept;
  int ParameterCount() const noexcept;
  // The parameter names as the list shows them (item p is parameter p).
  std::vector<std::string> ParameterNames() const;
  // Index of the parameter with exactly this name, -1 when none has it.
  int FindParameter(const std::string& name) const;

  // --- the bits ---
  // A parameter whose name begins "BC" + i carries bit 8 - i (BC1 is the
  // highest bit); the first such parameter in list order wins. Bits without
  // a match stay as they are.
  void ProposeBits();
  // Parameter p (0-based, -1 for none) carries the bit; a bit that had p
  // before loses it. A loaded bit that gets another parameter is loaded
  // again at once (new histogram and guessed threshold); a bit that loses
  // its parameter is no longer loaded.
  void AssignBit(int bit, int parameter);
  // Parameter index of the bit, -1 when unassigned.
  int BitParameter(int bit) const;
  BitParams BitParameters() const noexcept { return bit2par_; }
  // The lowest bit without a parameter of the file, 0 when all have one.
  int FirstUndefinedBit() const noexcept;

  // --- Load ---
  // The guess that Load and LoadBit use from now on (thresholds already
  // placed stay until the next Load).
  void SetGuess(ThresholdGuess guess) noexcept { guess_ = guess; }
  ThresholdGuess Guess() const noexcept { return guess_; }
  // Every bit: its transformed column, its histogram, its guessed threshold
  // (which becomes its threshold); then the codes and counts. Raises "No
  // file is open", "Bit n is not defined" when a bit has no parameter, "The
  // file holds no events". `progress` hears of each bit ("Loading bit n");
  // Load cannot be stopped halfway, so its answer is not asked for.
  void Load(const Progress& progress = {});
  // One bit only (the others keep theirs); the codes follow when all bits
  // are loaded.
  void LoadBit(int bit);
  bool IsLoaded(int bit) const;
  bool AllLoaded() const noexcept;
  // The bit's histogram, nullptr before it is loaded.
  const Thistogram* Histogram(int bit) const;
  // The bit's values on the log scale, empty before it is loaded.
  const TSingleVector& TransformedColumn(int bit) const;
  double GuessedThreshold(int bit) const;
  // How Load mapped the bit's measured values to its column: the log
  // scale's range and decades when it put the parameter on the log scale;
  // nothing when the values are used as they are (a parameter the file
  // declares logarithmic, a constant column) or before Load.
  std::optional<TScale> LogScale(int bit) const;

  // --- thresholds and the live classification ---
  double Threshold(int bit) const;
  BitThresholds Thresholds() const noexcept { return thresholds_; }
  // Moves the bit's threshold. When every bit is loaded, the codes and the
  // counts follow: only the events of this bit's column whose side of the
  // threshold (or, with a margin, whose ambiguity on this bit) changed are
  // moved.
  void SetThreshold(int bit, double threshold);
  // The margin in decades of the log scale (0 or more; 0 sets nothing
  // aside): an event whose value on some bit lies strictly within the
  // margin of that bit's threshold is ambiguous and goes to neither a well
  // nor the trash. The codes stay; the ambiguity and the counts follow.
  // Raises for a negative or non-finite margin.
  void SetMargin(double decades);
  double Margin() const noexcept { return margin_; }
  // Each event's code; empty until every bit is loaded.
  const TByteVector& Codes() const noexcept { return codes_; }
  // Each event's bits that lie within the margin of their threshold (bit
  // n-1 for bit n; 0 for an event that is not ambiguous); empty until
  // every bit is loaded.
  const TByteVector& AmbiguousBits() const noexcept { return ambiguous_; }
  const PlateCounts& Counts() const noexcept { return counts_; }
  // Events whose transformed value is at or above the bit's threshold (the
  // events for which the bit is set); 0 before the bit is loaded.
  std::int64_t EventsAbove(int bit) const;
  // Codes and counts computed from scratch (the reference the live update
  // is checked against); empty counts before every bit is loaded.
  void Reclassify();

  // --- export ---
  // The default output folder: the path without the extension of its file
  // name.
  std::string DefaultOutputDir() const;
  // Raises what Export refuses for: "No file is open", "Bit n is not
  // defined", "The file holds no events", "Press Load before Export: bit n
  // has no threshold yet".
  void CheckExport() const;
  // The opened input as a run record describes it: its absolute path (the
  // name given to OpenBytes), size, SHA-256 (read from the file at the
  // first call after Open; raises when it changed since), and the events
  // its TEXT announces and the events read.
  RecordedInput Input();
  // When the run record in dir is another input's (another SHA-256), or
  // cannot be read: a sentence that says so. Nothing for a folder without
  // a record or with this input's.
  std::optional<std::string> ForeignOutputs(const std::string& dir);
  // Writes the outputs into dir (made when missing, one level): the trash
  // file, one file per well with events and, when the margin sets events
  // aside, the ambiguous file; the file's own values; then removes the
  // earlier well and trash files it did not write, and last writes the run
  // record. Raises what CheckExport raises, or when writing fails (the
  // record is then not written). `progress` hears of the outputs being
  // written and of the record; when it says stop while the outputs are
  // written, ECancelled is raised and no output file is left (nor the
  // folders the export made): the files and the record of an earlier
  // export stay as they were.
  ExportResult Export(const std::string& dir, bool includeBarcode, const Progress& progress = {});
  // The record the last Export wrote.
  const RunRecord& LastRecord() const noexcept { return lastRecord_; }
  // What the report of a run of this file draws: the record and the loaded
  // bits' histograms.
  ReportData Report(const RunRecord& record) const;

 private:
  struct BitState {
    int parameter = -1;
    bool loaded = false;
    TSingleVector column;  // transformed values
    Thistogram histogram;
    double guessed = 0;
    std::optional<TScale> scale;  // set when Load log-scaled the column
  };
  static std::size_t Slot(int bit);
  void Adopt(std::unique_ptr<TFCStream> stream, const std::string& path,
             const std::vector<std::string>& notices);
  void ResetBits() noexcept;
  void ClearClassification() noexcept;
  void RequireFile() const;
  void RequireEvents() const;
  RunRecord MakeRecord(const std::string& dir, const ExportResult& result, bool includeBarcode);
  void MarkAmbiguous();
  void MoveWithMargin(std::size_t slot, double threshold);
  void LoadColumn(std::size_t slot, TColumnScratch& scratch);

  Notice notice_;
  std::unique_ptr<TFCStream> fcsfile_;
  std::string path_;
  // Size of the input when it was opened, and its digest once computed.
  std::uint64_t inputBytes_ = 0;
  std::string inputSha256_;
  bool inMemory_ = false;  // opened from bytes: the path is only a name
  RunRecord lastRecord_;
  BitParams bit2par_{};
  std::array<BitState, kBits> bits_;
  BitThresholds thresholds_{};
  ThresholdGuess guess_ = ThresholdGuess::UpperTail;
  double margin_ = 0;
  TByteVector codes_;
  TByteVector ambiguous_;
  PlateCounts counts_;
  std::vector<TColumnScratch> scratch_;  // one per worker of a Load, kept for the next
};

// The output folder of an opened path: the path without the extension of
// its file name (the last dot of the name and what follows); a name
// without a dot stays whole.
std::string PathWithoutExtension(const std::string& path);

// The wells, trash, ambiguous and total of events counted per code.
PlateCounts CountsFromPerCode(const std::array<std::int64_t, 128>& perCode,
                              const std::array<std::int64_t, 128>& ambiguousPerCode = {});
// Adds up codes into counts (per code, wells, trash, total); an event whose
// ambiguous bits (when given, one per code) are not 0 counts as ambiguous.
PlateCounts CountCodes(const TByteVector& codes, const TByteVector* ambiguous = nullptr);

}  // namespace dbc
