// Fuzz target: the bytes are a whole FCS file, opened as the window opens a
// file (header, TEXT, spillover, "$NEXTDATA" chain, every data type).
//
// Beyond surviving, a reading must
//  - fail only with a dbc::Exception that carries a message;
//  - be the same, bit for bit, through the block decoder and through the
//    value-at-a-time reference reader, with and without decimation;
//  - hold no more values than the file has bits (every value takes at least
//    one), so nothing is sized from an event count the bytes cannot back;
//  - have consistent shapes: one descriptor, flag and column per parameter,
//    every column EventCount long.
// A successful reading then goes through what Load does with it: the log
// scale with the outlier clamp, the histogram and the threshold guess.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fuzz_check.h"
#include "stats/histogram.h"

namespace dbc::fuzz {
namespace {

struct Reading {
  std::string error;
  std::vector<std::string> notices;
  std::unique_ptr<TFCStream> stream;
};

Reading Open(const std::string& bytes, bool decimate, bool load, TDecodePath path) {
  Reading r;
  auto* notices = &r.notices;
  r.error = ErrorOf([&] {
    r.stream = std::make_unique<TFCStream>(MemoryByteSource(bytes), "fuzz.fcs", decimate, load,
                                           [notices](const std::string& t) { notices->push_back(t); },
                                           path);
  });
  FUZZ_CHECK(r.error.empty() == (r.stream != nullptr), "an open that neither failed nor returned");
  return r;
}

bool SameBits(const TSingleVector& a, const TSingleVector& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

void CheckShapes(const TFCStream& s, std::size_t fileSize, bool load) {
  FUZZ_CHECK(s.Count() >= 1, "no data set");
  if (s.badfile) {
    FUZZ_CHECK(s.Count() == 1 && !s.dataset[0]->Text, "a bad file with a keyword text");
    return;
  }
  std::uint64_t values = 0;
  for (const auto& ds : s.dataset) {
    FUZZ_CHECK(ds->Text && ds->Header, "a data set without text");
    const TText& t = *ds->Text;
    const auto P = static_cast<std::size_t>(ds->parcount());
    // A TEXT segment whose end lies before its start is empty: no keywords,
    // no parameters. Any other text describes at least one parameter.
    FUZZ_CHECK(t.pars.size() == P && (t.par >= 1 || t.count() == 0), "parameter count and descriptors differ");
    FUZZ_CHECK(ds->logpar.size() == P && ds->mins.size() == P && ds->maxs.size() == P &&
                   ds->Scales.size() == P,
               "per-parameter flags are not one per parameter");
    FUZZ_CHECK(ds->GetEventCount() >= 0, "a negative event count");
    FUZZ_CHECK(ds->spillover.size() == ds->SpillInds.size() || ds->spillover.empty(),
               "spillover rows and indices differ");
    if (!load) {
      FUZZ_CHECK(ds->data.empty(), "events decoded without LoadData");
      continue;
    }
    FUZZ_CHECK(ds->data.size() == P, "not one column per parameter");
    for (const auto& column : ds->data)
      FUZZ_CHECK(column.size() == static_cast<std::size_t>(ds->GetEventCount()), "a column of the wrong length");
    values += static_cast<std::uint64_t>(P) * static_cast<std::uint64_t>(ds->GetEventCount());
  }
  FUZZ_CHECK(values <= std::uint64_t{8} * fileSize, "more values than the file has bits");
}

void CheckSame(const Reading& a, const Reading& b) {
  FUZZ_CHECK(a.error == b.error, "block decoder and reference fail differently: '" + a.error + "' / '" + b.error + "'");
  FUZZ_CHECK(a.notices == b.notices, "notices differ between block decoder and reference");
  if (!a.stream) return;
  const TFCStream& x = *a.stream;
  const TFCStream& y = *b.stream;
  FUZZ_CHECK(x.badfile == y.badfile && x.Count() == y.Count(), "data set counts differ");
  for (int i = 0; i < x.Count(); ++i) {
    const TDataSet& p = *x.dataset[static_cast<std::size_t>(i)];
    const TDataSet& q = *y.dataset[static_cast<std::size_t>(i)];
    FUZZ_CHECK((p.Text == nullptr) == (q.Text == nullptr), "keyword texts differ");
    if (!p.Text) continue;
    FUZZ_CHECK(p.Text->keys == q.Text->keys && p.Text->Values == q.Text->Values, "keywords differ");
    FUZZ_CHECK(p.GetEventCount() == q.GetEventCount(),
               "event counts differ: " + std::to_string(p.GetEventCount()) + " / " +
                   std::to_string(q.GetEventCount()));
    FUZZ_CHECK(p.data.size() == q.data.size(), "column counts differ");
    for (std::size_t c = 0; c < p.data.size(); ++c)
      FUZZ_CHECK(SameBits(p.data[c], q.data[c]), "values of parameter " + std::to_string(c) + " differ");
  }
}

// What the window does after opening: names into the parameter list, then
// Load on up to seven parameters, and rows for the export.
void UseLikeTheWindow(TFCStream& s) {
  if (s.badfile) return;
  TDataSet& ds = *s.dataset[0];
  std::vector<std::string> names;
  ds.FillComboBox([&] { names.clear(); }, [&](const std::string& n) { names.push_back(n); });
  FUZZ_CHECK(names.size() == static_cast<std::size_t>(ds.parcount()), "parameter list of the wrong length");
  for (int p = 0; p < ds.parcount(); ++p) {
    FUZZ_CHECK(!ds.ParName(p).empty(), "a parameter without a name");
    (void)ds.ParShortName(p);
    (void)ds.ParLongName(p);
  }
  (void)ds.filename();
  (void)ds.Text->Serialize();
  const int events = ds.GetEventCount();
  TColumnScratch scratch;
  // The histogram's smoothing costs more than the whole reading; one
  // parameter's is enough to cover its paths.
  for (int p = 0; p < std::min(ds.parcount(), 7); ++p) {
    const std::string err = ErrorOf([&] {
      ds.CropAndLog(p, scratch);
      if (p > 0) return;
      const Thistogram h = Thistogram::Create(ds.data[static_cast<std::size_t>(p)], 1024, -1, scratch);
      (void)h.GuessThreshold();
    });
    FUZZ_CHECK(err.empty(), "Load failed: " + err);
    FUZZ_CHECK(ds.data[static_cast<std::size_t>(p)].size() == static_cast<std::size_t>(events),
               "Load changed the number of events");
  }
  if (events > 0) {
    FUZZ_CHECK(ds.GetRow(0).size() == static_cast<std::size_t>(ds.parcount()), "a row of the wrong length");
    (void)ds.GetRow(events - 1);
  }
}

}  // namespace
}  // namespace dbc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dbc;
  using namespace dbc::fuzz;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  for (const bool decimate : {false, true}) {
    Reading fast = Open(bytes, decimate, true, TDecodePath::Fast);
    const Reading reference = Open(bytes, decimate, true, TDecodePath::Reference);
    CheckSame(fast, reference);
    if (!fast.stream) continue;
    CheckShapes(*fast.stream, size, true);
    if (!decimate) UseLikeTheWindow(*fast.stream);
  }
  const Reading header = Open(bytes, false, false, TDecodePath::Fast);
  if (header.stream) CheckShapes(*header.stream, size, false);
  return 0;
}
