#include "support/fcs_builder.h"

#include <bit>
#include <cstring>

namespace dbc::test {

FcsBuilder& FcsBuilder::Key(std::string key, std::string value) {
  keywords.emplace_back(std::move(key), std::move(value));
  return *this;
}

FcsBuilder& FcsBuilder::Set(const std::string& key, std::string value) {
  for (auto& kv : keywords)
    if (kv.first == key) {
      kv.second = std::move(value);
      return *this;
    }
  return Key(key, std::move(value));
}

FcsBuilder& FcsBuilder::Erase(const std::string& key) {
  for (auto it = keywords.begin(); it != keywords.end(); ++it)
    if (it->first == key) {
      keywords.erase(it);
      break;
    }
  return *this;
}

namespace {

std::string Escaped(const std::string& item, char delim, bool escape) {
  if (!escape) return item;
  std::string out;
  for (char c : item) {
    out += c;
    if (c == delim) out += c;
  }
  return out;
}

std::string TextOf(const Keywords& keywords, char delim, bool finalDelimiter, bool escape) {
  std::string t(1, delim);
  for (std::size_t i = 0; i < keywords.size(); ++i) {
    t += Escaped(keywords[i].first, delim, escape);
    t += delim;
    t += Escaped(keywords[i].second, delim, escape);
    if (finalDelimiter || i + 1 < keywords.size()) t += delim;
  }
  return t;
}

std::string Padded(std::int64_t v, std::size_t width) {
  std::string s = std::to_string(v);
  if (s.size() < width) s.insert(0, width - s.size(), '0');
  return s;
}

}  // namespace

TPreText KeywordStore(const Keywords& pairs) {
  TPreText t;
  for (const auto& [k, v] : pairs) {
    t.keys.push_back(k);
    t.Values.push_back(v);
  }
  return t;
}

std::string FcsBuilder::TextSegment() const {
  if (rawText) return *rawText;
  return TextOf(keywords, delim, finalDelimiter, escape);
}

std::string FcsBuilder::Build() const {
  std::string text;
  std::int64_t dataStart = 0;
  if (rawText || !beginEndKeywords) {
    text = TextSegment();
    dataStart = textOffset + static_cast<std::int64_t>(text.size()) + dataGap;
  } else {
    // Fixed-width offsets keep the TEXT length independent of their values.
    Keywords k = keywords;
    k.emplace_back("$BEGINDATA", Padded(0, 12));
    k.emplace_back("$ENDDATA", Padded(0, 12));
    text = TextOf(k, delim, finalDelimiter, escape);
    dataStart = textOffset + static_cast<std::int64_t>(text.size()) + dataGap;
    const std::int64_t dataEnd = dataStart + static_cast<std::int64_t>(data.size()) - 1;
    k[k.size() - 2].second = Padded(dataStart, 12);
    k[k.size() - 1].second = Padded(dataEnd, 12);
    text = TextOf(k, delim, finalDelimiter, escape);
  }
  builtDataStart = dataStart;
  const std::int64_t textStart = textOffset;
  const std::int64_t textEnd = textOffset + static_cast<std::int64_t>(text.size()) - 1;
  const std::int64_t dataEnd = dataStart + static_cast<std::int64_t>(data.size()) - 1;
  const std::int64_t analysisStart = analysis.empty() ? 0 : dataEnd + 1;
  const std::int64_t analysisEnd = analysis.empty() ? 0 : analysisStart + static_cast<std::int64_t>(analysis.size()) - 1;

  std::string header = version;
  header.resize(10, ' ');
  const std::int64_t values[6] = {textStart, textEnd, dataStart, dataEnd, analysisStart, analysisEnd};
  for (int i = 0; i < 6; ++i) header += headerFields[static_cast<std::size_t>(i)].value_or(Field8(values[i]));

  std::string out = header;
  if (static_cast<std::int64_t>(out.size()) < textOffset) out.resize(static_cast<std::size_t>(textOffset), ' ');
  out += text;
  out.append(static_cast<std::size_t>(dataGap), ' ');
  out += data;
  out += analysis;
  out += tail;
  return out;
}

FcsBuilder ListMode(char datatype, const std::vector<int>& bits, std::int64_t tot,
                    const std::string& byteord, const std::vector<std::string>& names,
                    const std::vector<std::int64_t>& ranges) {
  FcsBuilder b;
  if (!byteord.empty()) b.Key("$BYTEORD", byteord);
  b.Key("$DATATYPE", std::string(1, datatype));
  b.Key("$MODE", "L");
  b.Key("$PAR", std::to_string(bits.size()));
  b.Key("$TOT", std::to_string(tot));
  for (std::size_t i = 0; i < bits.size(); ++i) {
    const std::string p = "$P" + std::to_string(i + 1);
    b.Key(p + "B", std::to_string(bits[i]));
    b.Key(p + "N", i < names.size() ? names[i] : "P" + std::to_string(i + 1));
    const std::int64_t r = i < ranges.size() ? ranges[i] : 0;
    if (r != 0) b.Key(p + "R", std::to_string(r));
  }
  return b;
}

std::string Chain(std::vector<FcsBuilder> sets) {
  std::string out;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    FcsBuilder& b = sets[i];
    if (i + 1 < sets.size()) {
      b.Set("$NEXTDATA", Padded(0, 10));
      const auto len = static_cast<std::int64_t>(b.Build().size());
      b.Set("$NEXTDATA", Padded(len, 10));
    }
    out += b.Build();
  }
  return out;
}

namespace {
std::string LittleEndian(std::uint64_t v, int n, bool big) {
  std::string s(static_cast<std::size_t>(n), '\0');
  for (int k = 0; k < n; ++k) s[static_cast<std::size_t>(big ? n - 1 - k : k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
  return s;
}
}  // namespace

std::string U8(unsigned v) { return LittleEndian(v, 1, false); }
std::string U16(std::uint16_t v, bool big) { return LittleEndian(v, 2, big); }
std::string U24(std::uint32_t v, bool big) { return LittleEndian(v, 3, big); }
std::string U32(std::uint32_t v, bool big) { return LittleEndian(v, 4, big); }
std::string U64(std::uint64_t v, bool big) { return LittleEndian(v, 8, big); }
std::string F32(float v, bool big) { return LittleEndian(std::bit_cast<std::uint32_t>(v), 4, big); }
std::string F64(double v, bool big) { return LittleEndian(std::bit_cast<std::uint64_t>(v), 8, big); }

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

std::string Field8(std::int64_t v) {
  std::string s = std::to_string(v);
  if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
  return s;
}

Opened OpenBytes(std::string bytes, bool decimate, bool load, TDecodePath path, const std::string& name) {
  Opened o;
  auto* notices = &o.notices;
  o.stream = std::make_unique<TFCStream>(MemoryByteSource(std::move(bytes)), name, decimate, load,
                                         [notices](const std::string& t) { notices->push_back(t); }, path);
  return o;
}

}  // namespace dbc::test
