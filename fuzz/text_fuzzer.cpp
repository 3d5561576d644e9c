// Fuzz target: the bytes are one TEXT segment (delimiter first). They are
// placed behind a well-formed header, with 256 bytes of event data after
// them, and opened; the keyword store that results then goes through the
// parameter operations and the edits an export makes to a copy of it.
//
// Besides the checks of every target (no crash, only dbc::Exception with a
// message), a keyword store that was read must
//  - find every parameter's short name at that parameter or an earlier one
//    with the same name;
//  - serialise into bytes that read back as the same keywords and values,
//    since that is what every exported file carries.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/export_text.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fcs/fcs_write.h"
#include "fuzz_check.h"

namespace dbc::fuzz {
namespace {

constexpr std::size_t kDataBytes = 256;

// A file whose TEXT segment is `text` and whose DATA follows it.
std::string FileWithText(const std::string& text) {
  const auto textEnd = static_cast<std::int64_t>(58 + text.size()) - 1;
  const std::int64_t dataStart = textEnd + 1;
  std::string file = FCSHeaderText(3, 58, textEnd, dataStart, dataStart + kDataBytes - 1, 0, 0);
  file += text;
  for (std::size_t i = 0; i < kDataBytes; ++i) file += static_cast<char>((i * 37 + 11) & 0xFF);
  return file;
}

std::unique_ptr<TFCStream> OpenText(const std::string& text, bool load, std::string& error) {
  std::unique_ptr<TFCStream> s;
  error = ErrorOf([&] {
    s = std::make_unique<TFCStream>(MemoryByteSource(FileWithText(text)), "text.fcs", false, load,
                                    [](const std::string&) {});
  });
  return s;
}

void CheckParameterOperations(const TPreText& text) {
  const int n = text.ParCount();
  FUZZ_CHECK(n >= 0, "a negative parameter count");
  for (int i = 0; i < std::min(n, 64); ++i) {
    (void)text.ParSomeName(i);
    (void)text.ParOfParValue(i + 1, "DISPLAY");
    const std::string name = text.ParShortName(i);
    if (name.empty()) continue;
    const int j = text.ParIndByName(name);
    FUZZ_CHECK(j >= 0 && j <= i && SameTextAscii(text.ParShortName(j), name),
               "parameter " + std::to_string(i) + " is not found by its name");
  }
  (void)text.ParOfParNames();
  (void)text.IsCyanSummit();
}

// The export removes the barcode parameters from a copy of the text, from
// the highest number down.
void CheckExportEdits(const TPreText& text, int par) {
  TPreText copy;
  copy.Assign(text);
  const std::string err = ErrorOf([&] {
    for (int n = par; n >= 1 && n > par - 3; --n) copy.DeleteParam(n);
  });
  if (err.empty()) FUZZ_CHECK(copy.GetValue("$SPILLOVER").empty(), "$SPILLOVER left after DeleteParam");
  FUZZ_CHECK(copy.Size() == static_cast<int>(copy.Serialize().size()), "Size and Serialize differ");

  // The texts of the exported files: every key once, the parameter count
  // of the parameters kept, a spillover keyword that still reads.
  const TSingleMatrix data(static_cast<std::size_t>(std::max(par, 0)), TSingleVector{1.0f});
  std::vector<TParameterOutput> params;
  (void)ErrorOf([&] { params = ParameterOutputs(text, par, data, 1); });
  TIntVector all, odd;
  for (int p = 0; p < par; ++p) {
    all.push_back(p);
    if (p % 2 == 1) odd.push_back(p);
  }
  const bool sourceSpilloverReads = ErrorOf([&] {
                                      TIntVector inds;
                                      TMatrix m;
                                      text.ReadSpillover(inds, m);
                                    }).empty();
  for (const TIntVector* keep : {&all, &odd}) {
    TPreText out;
    if (!ErrorOf([&] { out = OutputText(text, par, *keep, params, "A01", "pool.fcs"); }).empty()) continue;
    std::unordered_set<std::string> keys;
    for (const auto& k : out.keys) FUZZ_CHECK(keys.insert(UpperAscii(k)).second, "a repeated key in an output: " + k);
    FUZZ_CHECK(out.GetValue("$PAR") == std::to_string(keep->size()), "$PAR of an output");
    if (keep == &all) {
      FUZZ_CHECK(out.GetValue("$SPILLOVER") == text.GetValue("$SPILLOVER"), "the trash text changed $SPILLOVER");
    } else if (sourceSpilloverReads && !out.GetValue("$SPILLOVER").empty()) {
      TIntVector inds;
      TMatrix m;
      FUZZ_CHECK(ErrorOf([&] { out.ReadSpillover(inds, m); }).empty(),
                 "a restricted $SPILLOVER does not read: " + out.GetValue("$SPILLOVER"));
    }
  }

  TPreText tip;
  tip.Assign(text);
  (void)ErrorOf([&] { tip.AddTip(par); });
  TPreText cyan;
  cyan.Assign(text);
  (void)ErrorOf([&] { cyan.FixCyanTime(1); });
}

void CheckRoundTrip(const TText& text) {
  // A blank delimiter cannot carry the blank that stands for an empty item.
  // An empty store comes from an empty segment, not from keywords.
  if (text.Delim == ' ' || text.IsCyanSummit() || text.count() == 0) return;
  std::string error;
  const auto again = OpenText(text.Serialize(), false, error);
  FUZZ_CHECK(again != nullptr, "a serialised text does not read back: " + error);
  FUZZ_CHECK(!again->badfile, "a serialised text reads as no FCS file");
  const TText& t = *again->dataset[0]->Text;
  FUZZ_CHECK(t.keys == text.keys && t.Values == text.Values, "a serialised text reads back differently");
}

}  // namespace
}  // namespace dbc::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dbc;
  using namespace dbc::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto s = OpenText(text, true, error);
  if (!s || s->badfile) return 0;
  const TDataSet& ds = *s->dataset[0];
  CheckParameterOperations(*ds.Text);
  CheckExportEdits(*ds.Text, ds.parcount());
  CheckRoundTrip(*ds.Text);
  return 0;
}
