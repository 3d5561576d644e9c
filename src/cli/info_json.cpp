#include "cli/info_json.h"

#include <algorithm>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"

namespace dbc::cli {

using json = nlohmann::ordered_json;

namespace {

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

json DataSetJson(const TDataSet& ds) {
  const TText& t = *ds.Text;
  json j;
  j["signature"] = BytesToUtf8(ds.signature);
  j["version"] = ds.version;
  j["offset"] = ds.Offset;
  j["datatype"] = BytesToUtf8(std::string(1, t.DataType));
  j["mode"] = BytesToUtf8(std::string(1, t.Mode));
  j["par"] = ds.parcount();
  // The events read, and the number the TEXT announces (larger when the
  // file is cut short; the keywords then hold the events read as "$TOT").
  j["tot"] = ds.GetEventCount();
  j["tot_announced"] = ds.Text->announced;
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
