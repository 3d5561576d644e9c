#include "fcs/key_lookup.h"

#include "util/text.h"

namespace dbc {

namespace {
const std::string kEmpty;
}

TKeyLookup::TKeyLookup(const TPreText& text) : text_(text) {
  first_.reserve(text.keys.size());
  for (std::size_t i = 0; i < text.keys.size(); ++i) first_.emplace(UpperAscii(text.keys[i]), i);
}

const std::string& TKeyLookup::Get(std::string_view key) const {
  const auto it = first_.find(UpperAscii(key));
  return it == first_.end() ? kEmpty : text_.Values[it->second];
}

const std::string& TKeyLookup::ParOfParValue(int pnum, std::string_view suffix) const {
  const std::string number = std::to_string(pnum);
  const std::string& v = Get("$P" + number + std::string(suffix));
  if (!v.empty()) return v;
  return Get("P" + number + std::string(suffix));
}

}  // namespace dbc
