// Fuzz target: the spillover keyword. The bytes are split at newlines: the
// last piece is the keyword's value, the pieces before it (at most 32) are
// the parameters' short names ($P1N, $P2N, ...). The first byte chooses the
// keyword: odd "SPILL" (parameters named), even "$SPILLOVER" (numbered).
//
// A value either reads as n indices and an n x n matrix with a diagonal of
// 1, whose named references are the first parameters of those names, or
// fails with
// "Error Reading Spillover Matrix" and leaves no matrix. A read matrix is
// then inverted as a data set does (also with normalised rows), and the
// CyAn time repair and the export's parameter removal rewrite the keyword.
#include <cstdint>
#include <string>

#include "fcs/pretext.h"
#include "fuzz_check.h"
#include "stats/matrices.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dbc;
  using namespace dbc::fuzz;
  if (size == 0) return 0;
  const bool byName = (data[0] & 1) != 0;
  const StringArray pieces = SplitByString(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), "\n");
  if (pieces.empty()) return 0;

  TPreText text;
  const std::size_t names = std::min<std::size_t>(pieces.size() - 1, 32);
  text.SetValue("$PAR", std::to_string(names));
  for (std::size_t i = 0; i < names; ++i) text.SetValue("$P" + std::to_string(i + 1) + "N", pieces[i]);
  text.SetValue(byName ? "SPILL" : "$SPILLOVER", pieces.back());

  TIntVector indices{-7};
  TMatrix matrix{{1.0}};
  const std::string err = ErrorOf([&] { text.ReadSpillover(indices, matrix); });
  if (!err.empty()) {
    FUZZ_CHECK(err == "Error Reading Spillover Matrix", "unexpected message: " + err);
    FUZZ_CHECK(matrix.empty(), "a failed read left a matrix");
  } else {
    const std::size_t n = matrix.size();
    FUZZ_CHECK(pieces.back().empty() ? indices == TIntVector{-7} : indices.size() == n,
               "indices and matrix differ in size");
    for (std::size_t r = 0; r < n; ++r) {
      FUZZ_CHECK(matrix[r].size() == n, "a matrix that is not square");
      FUZZ_CHECK(matrix[r][r] == 1.0, "a diagonal element that is not 1");
      if (byName) {
        // The one-pass name index against the scan parameter by parameter.
        const std::string ref = SplitByString(pieces.back(), ",")[r + 1];
        int first = -1;
        for (int i = 0; i < text.ParCount() && first < 0; ++i)
          if (SameTextAscii(text.ParShortName(i), ref)) first = i;
        FUZZ_CHECK(indices[r] == first && first >= 0, "a named reference is not the first parameter of that name");
      }
    }
    if (n > 0) {
      TMatrix inv(n, TVector(n, 0.0));
      const int rc = InvertMatrix(matrix, 0, static_cast<int>(n) - 1, inv);
      FUZZ_CHECK(rc == MatOk || rc == MatSingular, "an unknown inversion result");
      TMatrix normalised = matrix;
      for (auto& row : normalised) row = NormalizeVector(row);
      (void)InvertMatrix(normalised, 0, static_cast<int>(n) - 1, inv);
    }
  }

  TPreText cyan;
  cyan.Assign(text);
  (void)ErrorOf([&] { cyan.FixCyanTime(1); });
  TPreText removed;
  removed.Assign(text);
  if (ErrorOf([&] { removed.DeleteParam(1); }).empty())
    FUZZ_CHECK(removed.GetValue("$SPILLOVER").empty(), "$SPILLOVER left after DeleteParam");
  return 0;
}
