#include "cli/info_json.h"

#include <algorithm>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"

namespace dbc::cli {

using json = nlohmann::ordered_json;

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n;
  std::uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1Fu; }
  else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0Fu; }
  else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07u; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3Fu);
  }
  // Overlong forms, surrogates and values above U+10FFFF are not UTF-8.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

json Rows(const TDataSet& ds, std::size_t first, std::size_t count) {
  json rows = json::array();
  for (std::size_t e = first; e < first + count; ++e) {
    json row = json::array();
    for (const auto& column : ds.data) row.push_back(static_cast<double>(column[e]));
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

std::string BytesToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = Utf8Length(bytes, i);
    if (n > 0) {
      out.append(bytes.substr(i, n));
      i += n;
    } else {
      const auto c = static_cast<unsigned char>(bytes[i++]);
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

json DataSetJson(const TDataSet& ds) {
  const TText& t = *ds.Text;
  json j;
  j["signature"] = BytesToUtf8(ds.signature);
  j["version"] = ds.version;
  j["offset"] = ds.Offset;
  j["datatype"] = BytesToUtf8(std::string(1, t.DataType));
  j["mode"] = BytesToUtf8(std::string(1, t.Mode));
  j["par"] = ds.parcount();
  j["tot"] = ds.GetEventCount();
  j["compressed"] = ds.compressed;

  json keywords = json::array();
  for (std::size_t i = 0; i < t.keys.size(); ++i)
    keywords.push_back(json::array({BytesToUtf8(t.keys[i]), BytesToUtf8(t.Values[i])}));
  j["keywords"] = std::move(keywords);

  json parameters = json::array();
  for (std::size_t p = 0; p < t.pars.size(); ++p) {
    const TPar& par = t.pars[p];
    parameters.push_back({{"name", BytesToUtf8(par.name)},
                          {"bits", par.bits},
                          {"range", par.resolution},
                          {"logpar", p < ds.logpar.size() && ds.logpar[p]}});
  }
  j["parameters"] = std::move(parameters);

  if (ds.spillover.empty()) {
    j["spillover"] = nullptr;
  } else {
    j["spillover"] = {{"indices", ds.SpillInds}, {"matrix", ds.spillover}};
  }

  json sums = json::array();
  for (const auto& column : ds.data) {
    double sum = 0;
    for (float v : column) sum += static_cast<double>(v);
    sums.push_back(sum);
  }
  j["column_sums"] = std::move(sums);
  const std::size_t n = ds.data.empty() ? 0 : ds.data[0].size();
  const std::size_t shown = std::min<std::size_t>(5, n);
  j["first_events"] = Rows(ds, 0, shown);
  j["last_events"] = Rows(ds, n - shown, shown);
  return j;
}

json FileJson(const std::string& path, const TFCStream& stream, const std::vector<std::string>& notices) {
  json j;
  j["file"] = BytesToUtf8(path);
  j["badfile"] = stream.badfile;
  json datasets = json::array();
  for (const auto& ds : stream.dataset)
    if (ds && ds->Text) datasets.push_back(DataSetJson(*ds));
  j["datasets"] = std::move(datasets);
  json n = json::array();
  for (const auto& text : notices) n.push_back(BytesToUtf8(text));
  j["notices"] = std::move(n);
  return j;
}

}  // namespace dbc::cli
