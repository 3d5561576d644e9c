#pragma once
// A read-only index over the pairs of a keyword store, for the places that
// look up every parameter's keywords in one go (the store's own lookups are
// linear scans, which makes such loops quadratic on texts with thousands of
// keywords). Same rule as the store: ASCII case ignored, the first
// occurrence wins. Valid only while the store is not changed.
#include <string>
#include <string_view>
#include <unordered_map>

#include "fcs/pretext.h"

namespace dbc {

class TKeyLookup {
 public:
  explicit TKeyLookup(const TPreText& text);
  // The value of the first pair whose key matches, empty when none.
  const std::string& Get(std::string_view key) const;
  // The value of "$P" + pnum + suffix, or of "P" + pnum + suffix when the
  // first is empty (untrimmed).
  const std::string& ParOfParValue(int pnum, std::string_view suffix) const;

 private:
  const TPreText& text_;
  std::unordered_map<std::string, std::size_t> first_;
};

}  // namespace dbc
