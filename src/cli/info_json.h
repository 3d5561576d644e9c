#pragma once
// The JSON description of an opened FCS file that `debarcode info` prints.
// Objects keep their members in the order they are written.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace dbc {
class TFCStream;
class TDataSet;
}

namespace dbc::cli {

// FCS text is bytes: valid UTF-8 passes, every other byte becomes the code
// point of its value (printed as \u00XX when dumped with ensure_ascii).
std::string BytesToUtf8(std::string_view bytes);

nlohmann::ordered_json DataSetJson(const TDataSet& ds);
nlohmann::ordered_json FileJson(const std::string& path, const TFCStream& stream,
                        const std::vector<std::string>& notices);

}  // namespace dbc::cli
