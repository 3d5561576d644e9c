#pragma once
// Classification and export of a debarcoded data set.
//
// Every event gets a 7-bit code: bit n-1 is set when the event's value of
// bit n's parameter is at or above bit n's threshold. The plate table sends
// the code to a well or, for the 32 codes that are no well, to the trash;
// an event set aside as ambiguous goes to neither. The output folder then
// holds
//   DIR/trash/trash.fcs      the trash events, every parameter
//   DIR/Well_A01.fcs ...     one file per well that received events, every
//                            parameter or all but the seven bit parameters
//   DIR/trash/ambiguous.fcs  the ambiguous events, every parameter (only
//                            when there are any)
// in that order of writing (trash first, then the wells row by row), each
// file with the events in input order, one file written at a time.
//
// Each output holds 32-bit little-endian floats, log-amplified channel
// numbers as the linear values they stand for; its keyword text is a copy
// of the data set's made to describe that (app/export_text.h).
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/export_text.h"
#include "app/progress.h"
#include "fcs/pretext.h"
#include "util/vectors.h"

namespace dbc {

constexpr int kBarcodeBits = 7;
using BitParams = std::array<int, kBarcodeBits>;          // bit 1..7 -> parameter index
using BitThresholds = std::array<double, kBarcodeBits>;   // bit 1..7 -> threshold

// Codes of the first `events` events. A NaN value leaves its bit clear; a
// 32-bit value is compared with the 64-bit threshold as it is.
TByteVector ClassifyEvents(const TSingleMatrix& data, std::size_t events,
                           const BitParams& bit2par, const BitThresholds& thresholds);
// Per event, the bits whose value lies strictly within `margin` of the
// bit's threshold (bit n-1 for bit n): t - margin < value < t + margin, the
// bounds computed in 64 bits. A margin of 0 marks nothing; nor does a NaN
// value or threshold.
TByteVector AmbiguousBitsOf(const TSingleMatrix& data, std::size_t events, const BitParams& bit2par,
                            const BitThresholds& thresholds, double margin);

struct ExportJob {
  const TPreText* text = nullptr;        // the data set's keyword text
  const TSingleMatrix* data = nullptr;   // [parameter][event]
  std::size_t events = 0;
  const TByteVector* codes = nullptr;    // one per event
  BitParams bit2par{};
  bool includeBarcode = false;
  std::string dir;
  // The source file (its name goes into every output's DEBARCODE_SOURCE).
  std::string source{};
  // One per event, not 0 for an ambiguous event; none when null.
  const TByteVector* ambiguous = nullptr;
};

struct ExportResult {
  std::int64_t trash = 0;
  std::int64_t wells[8][12] = {};
  std::int64_t ambiguous = 0;
  std::vector<std::string> files;  // in the order written
};

// Paths of the outputs.
std::string TrashFileName(const std::string& dir);
std::string WellFileName(const std::string& dir, int row, int col);  // 0-based
std::string AmbiguousFileName(const std::string& dir);

// What the outputs hold, worked out once per export: the keyword texts of
// the outputs with every parameter (trash, ambiguous) and of the well files,
// DEBARCODE_WELL at trashKey and wellKey (to be given each output's name),
// the parameter indices a well file keeps and, per parameter of the data
// set, how its values are written.
struct ExportPlan {
  TPreText trashText;
  TPreText wellText;
  std::size_t trashKey = 0;
  std::size_t wellKey = 0;
  TIntVector keep;
  std::vector<TParameterOutput> params;
};
ExportPlan PlanExport(const ExportJob& job);

// Writes the outputs in one pass over the events. The events are shared
// among worker threads in consecutive ranges; each worker writes its
// range's rows of every output at their place in the output's file (after
// the rows of the ranges before). Block by block, a worker turns the
// columns into rows in its cache and copies each event's row, or the
// pieces a well keeps, into a run of its output, and writes a full run
// straight to the file. The calling thread, the first worker, creates the
// files in the order above meanwhile. All outputs with events are open
// (under temporary names) during the pass and are completed in the order
// above when it ends (their last runs, header and keyword text), so the
// files are those of the plain algorithm, byte for byte. Errors (creating
// or writing a file) propagate; the outputs completed before stay, the
// others leave no file.
//
// `progress` hears of the pass ("Writing the wells", fraction of the
// events) on the calling thread; it is asked last just before the outputs
// are completed, so that a stop (ECancelled) leaves no output file at all.
struct ExportTuning {
  std::size_t blockEvents = 512;  // events turned into rows at a time
  // Rows staged per output and worker before they are written: larger runs
  // mean fewer system calls, which cost more here than the cache they take.
  std::size_t bufferBytes = 128 * 1024;
  int workers = 0;  // 0: one per hardware thread, fewer for small exports
};
ExportResult ExportPlate(const ExportJob& job, const ExportTuning& tuning = {},
                         const Progress& progress = {});

// The plain algorithm: one full scan of the codes per output, one row per
// written event. Kept as the reference the fast export is checked against.
ExportResult ExportPlateReference(const ExportJob& job);

}  // namespace dbc
