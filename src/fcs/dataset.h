#pragma once
// TDataSet: one data set of an FCS file in memory: its header, its keyword
// text and its events as one column of 32-bit floats per parameter
// (data[parameter][event]).
//
// Construction reads the header at the stream's position, the TEXT, the
// spillover matrix (inverted right away), the per-parameter log flags and,
// when asked, every event. A file that ends before the last event announced
// keeps its complete events, "$TOT" is rewritten to their number (the
// announced one stays in Text->announced) and the stream's notice names
// both numbers.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "fcs/header.h"
#include "fcs/text.h"
#include "fcs/value_decoder.h"
#include "stats/scale.h"
#include "util/vectors.h"

namespace dbc {

class TFCStream;
class TOutputFile;
struct TColumnScratch;

// The notice for a data set whose file ends before its last event.
std::string CutShortNotice(const std::string& name, std::int64_t announced, std::int64_t read);

class TDataSet {
 public:
  // Reads the data set at src.Position(). When the signature is neither
  // "FCS" nor "ACS" the data set is left without Header and Text and the
  // stream is told (TFCStream::SignatureFailed); nothing is raised then.
  TDataSet(TFCStream& src, bool adecimate, bool LoadData);
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  TFCStream* Parent;
  // Bytes consumed by the last event decoded.
  int EventSize = 0;
  TSingleMatrix ResultData;
  TMatrix ResultDataDouble;
  // A data set that is to outlive its stream is moved out of
  // TFCStream::dataset; the stream frees what it still holds.
  bool DoNotDeleteWithParent = false;
  std::string signature;
  int version = 0;
  // File offset of the data set's first byte; header offsets and $NEXTDATA
  // are relative to it.
  std::int64_t Offset = 0;
  std::unique_ptr<THeader> Header;
  std::unique_ptr<TText> Text;
  // Variable-length ASCII: the values cannot be decoded and read as 0.
  bool notimplemented = false;
  // Integer values are bit-packed.
  bool compressed = false;
  TSingleMatrix data;
  TScaleVector Scales;
  TSingleVector mins;
  TSingleVector maxs;
  // Spillover matrix from "$SPILLOVER" or "SPILL" (diagonal 1); empty when
  // the text has none.
  TMatrix spillover;
  bool ApplySpillover = true;
  // Inverse of spillover; empty when there is none or it is singular.
  TMatrix spill_inv;
  bool NormalizeSpillOver = false;
  // 0-based parameter index of each row/column of spillover.
  TIntVector SpillInds;
  TBoolVector logpar;
  double Decades = 4.0;
  bool CropOutliers = true;
  TBoolVector spillpar;
  // The spillover matrix is singular: spill_inv is empty and compensation
  // is unavailable (compensated matrices carry the raw values).
  bool SpillSingular = false;
  // A spillover keyword is present but cannot be read: spillover is empty.
  bool SpillUnreadable = false;

  // Positions the stream at the first byte of the DATA segment: the header's
  // DATA start, or "$BEGINDATA" when that is 0 (then throws
  // Exception("BEGINDATA parameter is invalid") when it is no integer) or
  // lies inside the TEXT segment.
  void BeginData();
  // The trimmed value of "$NEXTDATA"; 0 when absent or blank.
  int OffsetToNextDataSet() const;
  int parcount() const noexcept { return Text ? Text->par : 0; }
  int GetEventCount() const noexcept { return Text ? Text->tot : 0; }
  // Sets the event count and rewrites "$TOT".
  void SetEventCount(int v);
  // Event n across all parameters.
  TSingleVector GetRow(const TSingleMatrix& dat, int n) const;
  TSingleVector GetRow(int n) const { return GetRow(data, n); }
  std::string ParName(int par) const;
  std::string ParShortName(int n) const;
  std::string ParLongName(int n) const;
  // "$FIL", or "FILE" when that is blank.
  std::string filename() const;
  // Empties a parameter list (clear) and appends ParName(p) for every
  // parameter (add), so item p is parameter p.
  void FillComboBox(const std::function<void()>& clear,
                    const std::function<void(const std::string&)>& add) const;

  // Recomputes spill_inv from spillover (rows normalised first when
  // NormalizeSpillOver); sets SpillSingular.
  void RebuildSpillOver();

  // Transforms (dataset_transforms.cpp).
  void CropAndLog(int ind);
  // The same, with sort buffers that the caller reuses across parameters.
  void CropAndLog(int ind, TColumnScratch& scratch);
  void CropAndLogRange(int first, int count);
  bool LogScale(int par) const;
  TSingleMatrix GetDataMatrix(bool Linear);
  TMatrix GetDataMatrixDouble(bool Linear);
  void CompensateRange(int first, int count);

  // Writing (dataset_write.cpp). Add appends the events of ds when both
  // have the same number of parameters (false otherwise, nothing changed).
  // WriteTo writes this data set at f's position: the TEXT re-serialised,
  // header, DATA and ANALYSIS copied from the source file (re-opened by
  // its name), offsets shifted when the TEXT grew into the DATA.
  bool Add(const TDataSet& ds);
  void WriteTo(TOutputFile& f) const;

 private:
  void ReadSpillover();
  void ReadEvents();
  // Decodes up to count events value by value; returns the number read.
  std::int64_t ReadEventsReference(std::int64_t count);
  void ReadEvent(TSingleVector& row);
  float ReadValue(int p);

  std::vector<TValuePlan> plans_;  // while events are read value by value
};

}  // namespace dbc
