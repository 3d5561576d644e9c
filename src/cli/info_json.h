#pragma once
// The JSON description of an opened FCS file that `debarcode info` prints.
// Objects keep their members in the order they are written.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "util/text.h"

namespace dbc {
class TFCStream;
class TDataSet;
}

namespace dbc::cli {

// FCS text as JSON strings (util/text.h; printed as \u00XX when dumped
// with ensure_ascii).
using dbc::BytesToUtf8;

nlohmann::ordered_json DataSetJson(const TDataSet& ds);
nlohmann::ordered_json FileJson(const std::string& path, const TFCStream& stream,
                        const std::vector<std::string>& notices);

}  // namespace dbc::cli
