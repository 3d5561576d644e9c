#pragma once
// The segment table of an FCS data set header. Bytes 10..57 of the header
// hold six right-aligned ASCII offsets: TEXT start and end, DATA start and
// end, ANALYSIS start and end. Ends are inclusive and every offset is
// relative to the first byte of the data set (its "FCS" signature).
#include <cstdint>
#include <vector>

namespace dbc {

struct TStartStop {
  std::int32_t start = 0;
  std::int32_t stop = 0;
};

class THeader {
 public:
  // Entry 0: TEXT, 1: DATA, 2: ANALYSIS.
  std::vector<TStartStop> bounds;

  // Appends (start, stop); note that the end comes first.
  void Add(std::int32_t stop, std::int32_t start) { bounds.push_back({start, stop}); }
  int Count() const noexcept { return static_cast<int>(bounds.size()); }
  // stop - start + 1 for an existing entry, else 0.
  std::int64_t Len(int n) const noexcept {
    if (n < 0 || n >= Count()) return 0;
    const auto& b = bounds[static_cast<std::size_t>(n)];
    return std::int64_t{b.stop} - b.start + 1;
  }
};

}  // namespace dbc
