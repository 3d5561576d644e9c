#include "fcs/fcs_write.h"

#include <bit>
#include <cstring>
#include <string>

namespace dbc {

namespace {

template <class U>
void StoreLE(char* p, U u) noexcept {
  for (std::size_t i = 0; i < sizeof u; ++i) p[i] = static_cast<char>((u >> (8 * i)) & 0xFFu);
}

// The TEXT keywords whose final values EndData fills in.
constexpr const char* kTot = "$TOT";
constexpr const char* kBeginData = "$BEGINDATA";
constexpr const char* kEndData = "$ENDDATA";

}  // namespace

std::string OffsetField(std::int64_t n) {
  std::string digits = std::to_string(n);
  if (digits.size() > 8) return digits.substr(digits.size() - 8);
  return std::string(8 - digits.size(), ' ') + digits;
}

std::string FCSHeaderText(int version, std::int64_t textStart, std::int64_t textEnd,
                          std::int64_t dataStart, std::int64_t dataEnd,
                          std::int64_t analysisStart, std::int64_t analysisEnd) {
  std::string h = "FCS" + std::to_string(version) + ".0    ";
  for (std::int64_t v : {textStart, textEnd, dataStart, dataEnd, analysisStart, analysisEnd})
    h += OffsetField(v);
  return h;
}

void WriteFCSHeader(TOutputFile& f, int version, std::int64_t textStart, std::int64_t textEnd,
                    std::int64_t dataStart, std::int64_t dataEnd, std::int64_t analysisStart,
                    std::int64_t analysisEnd) {
  f.Write(FCSHeaderText(version, textStart, textEnd, dataStart, dataEnd, analysisStart,
                        analysisEnd));
}

TFCSWrite::TFCSWrite(const std::string& filename, std::size_t bufferBytes)
    : fcs(std::make_unique<TOutputFile>(filename, bufferBytes)), filename_(filename) {}

TFCSWrite::TFCSWrite(std::unique_ptr<TByteSink> sink, const std::string& filename)
    : fcs(std::make_unique<TOutputFile>(std::move(sink), filename)), filename_(filename) {}

TFCSWrite::~TFCSWrite() = default;

void TFCSWrite::BeginData() {
  textstart = 256;
  Count = 0;
  // Sized with the widest values the three keywords can take, so that the
  // final TEXT always fits in front of the DATA.
  Text.SetValue(kTot, kTotPlaceholder);
  Text.SetValue(kBeginData, kOffsetPlaceholder);
  Text.SetValue(kEndData, kOffsetPlaceholder);
  textstop = textstart + Text.Size() - 1;
  datastart = (textstop / 256 + 1) * 256;
  fcs->Seek(static_cast<std::uint64_t>(datastart));
}

void TFCSWrite::WriteData(const TSingleVector& data) {
  WriteEvents(data.data(), data.size(), 1);
}

void TFCSWrite::WriteData(const TIntVector& data) {
  char* p = fcs->Claim(data.size() * 4);
  for (std::int32_t v : data) {
    StoreLE(p, static_cast<std::uint32_t>(v));
    p += 4;
  }
  ++Count;
}

void TFCSWrite::WriteData(float data) { WriteEvents(&data, 1, 1); }

void TFCSWrite::Write16(std::uint16_t data) { StoreLE(fcs->Claim(2), data); }
void TFCSWrite::Write32(std::uint32_t data) { StoreLE(fcs->Claim(4), data); }
void TFCSWrite::Write64(std::uint64_t data) { StoreLE(fcs->Claim(8), data); }

void TFCSWrite::WriteEvents(const float* values, std::size_t n, std::int64_t count) {
  if constexpr (std::endian::native == std::endian::little) {
    fcs->Write(values, n * 4);
  } else {
    char* p = fcs->Claim(n * 4);
    for (std::size_t i = 0; i < n; ++i) StoreFloatLE(p + 4 * i, values[i]);
  }
  Count += count;
}

void TFCSWrite::WriteEventBytes(const char* data, std::size_t bytes, std::int64_t count) {
  fcs->Write(data, bytes);
  Count += count;
}

char* TFCSWrite::ClaimEvents(std::size_t n, std::int64_t count) {
  Count += count;
  return fcs->Claim(n * 4);
}

void TFCSWrite::EndData(std::int64_t EventCount) {
  datastop = static_cast<std::int64_t>(fcs->Position()) - 1;
  Text.SetValue(kTot, std::to_string(EventCount != 0 ? EventCount : Count));
  Text.SetValue(kBeginData, std::to_string(datastart));
  Text.SetValue(kEndData, std::to_string(datastop));
  const std::string text = Text.Serialize();
  if (textstart + static_cast<std::int64_t>(text.size()) > datastart)
    throw Exception("The TEXT segment of \"" + filename_ + "\" does not fit in front of its DATA");
  // The TEXT ends with its last delimiter; the room left by the
  // placeholders stays as blanks between the segments.
  textstop = textstart + static_cast<std::int64_t>(text.size()) - 1;

  const bool dataFits = datastart <= kMaxHeaderOffset && datastop <= kMaxHeaderOffset;
  const bool textFits = textstop <= kMaxHeaderOffset;
  std::string head = FCSHeaderText(3, textFits ? textstart : 0, textFits ? textstop : 0,
                                   dataFits ? datastart : 0, dataFits ? datastop : 0, 0, 0);
  head.resize(static_cast<std::size_t>(textstart), ' ');
  head += text;
  head.resize(static_cast<std::size_t>(datastart), ' ');
  fcs->Seek(0);
  fcs->Write(head);
  fcs->Close();
  fcs.reset();
}

}  // namespace dbc
