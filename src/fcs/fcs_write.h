#pragma once
// TFCSWrite: writes one FCS 3.0 file event by event.
//
// Layout of the file written:
//   0..57     header: "FCS3.0" and four blanks, then six 8-character
//             right-aligned offsets (TEXT start and end, DATA start and end,
//             ANALYSIS start and end; ends inclusive)
//   58..255   blanks
//   256..     the TEXT segment, ending with its last delimiter (the
//             header's TEXT end), then blanks up to DATA start
//   DATA      the events as written, every value little-endian; DATA start
//             is a multiple of 256
// The DATA is placed before its size is known: BeginData sizes the TEXT with
// fixed-width placeholders for "$TOT", "$BEGINDATA" and "$ENDDATA", and
// EndData writes the final values, which are never longer, in front of it.
// An offset beyond the eight digits of a header field is written as 0 in the
// header (both fields of the segment); readers then take "$BEGINDATA" and
// "$ENDDATA" from the TEXT.
//
// The file appears under its name only when EndData completes; a writer
// destroyed earlier, or a failed write, leaves no file behind (a file that
// existed under the name before stays as it was).
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fcs/output_file.h"
#include "fcs/pretext.h"
#include "util/vectors.h"

namespace dbc {

// The decimal digits of n right-aligned in 8 characters; a number of more
// than eight characters keeps its last eight.
std::string OffsetField(std::int64_t n);

// The 58 header bytes: "FCS" + version + ".0    ", then the six offsets.
std::string FCSHeaderText(int version, std::int64_t textStart, std::int64_t textEnd,
                          std::int64_t dataStart, std::int64_t dataEnd,
                          std::int64_t analysisStart, std::int64_t analysisEnd);
// Writes FCSHeaderText at the file's position.
void WriteFCSHeader(TOutputFile& f, int version, std::int64_t textStart, std::int64_t textEnd,
                    std::int64_t dataStart, std::int64_t dataEnd, std::int64_t analysisStart,
                    std::int64_t analysisEnd);

// Stores v as 4 little-endian bytes at p.
inline void StoreFloatLE(char* p, float v) noexcept {
  auto u = std::bit_cast<std::uint32_t>(v);
  if constexpr (std::endian::native == std::endian::big)
    u = (u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24);
  std::memcpy(p, &u, 4);
}

// The float whose bytes in memory are the little-endian bytes of v (v
// itself on a little-endian machine), for rows copied to a file whole.
inline float LittleEndianFloat(float v) noexcept {
  if constexpr (std::endian::native == std::endian::big) {
    const auto u = std::bit_cast<std::uint32_t>(v);
    return std::bit_cast<float>((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24));
  }
  return v;
}

// Largest offset that a header field holds.
constexpr std::int64_t kMaxHeaderOffset = 99'999'999;

class TFCSWrite {
 public:
  // Placeholders the TEXT is sized with at BeginData.
  static constexpr const char* kTotPlaceholder = "0000000000";
  static constexpr const char* kOffsetPlaceholder = "00000000000000000000";

  // Creates the file (through a temporary one). Throws EFCreateError.
  explicit TFCSWrite(const std::string& filename,
                     std::size_t bufferBytes = TOutputFile::kDefaultBuffer);
  // Writes through the given sink; `filename` names the file in errors.
  TFCSWrite(std::unique_ptr<TByteSink> sink, const std::string& filename);
  ~TFCSWrite();
  TFCSWrite(const TFCSWrite&) = delete;
  TFCSWrite& operator=(const TFCSWrite&) = delete;

  void BeginData();
  // One event: the values back to back, 4 bytes each, little-endian.
  void WriteData(const TSingleVector& data);
  void WriteData(const TIntVector& data);
  void WriteData(float data);
  // Raw values, not counted as events.
  void Write16(std::uint16_t data);
  void Write32(std::uint32_t data);
  void Write64(std::uint64_t data);
  // n floats of `count` events at once (the export's gathered rows).
  void WriteEvents(const float* values, std::size_t n, std::int64_t count);
  // `bytes` bytes of `count` events, already in file order (little-endian).
  void WriteEventBytes(const char* data, std::size_t bytes, std::int64_t count);
  // Room for n floats of `count` events at the position, to be filled at
  // once by the caller with StoreFloatLE.
  char* ClaimEvents(std::size_t n, std::int64_t count);
  // Sets "$TOT" (EventCount, or the number of events written when 0),
  // "$BEGINDATA" and "$ENDDATA", writes header and TEXT and closes the file.
  void EndData(std::int64_t EventCount);

  const std::string& FileName() const noexcept { return filename_; }
  bool IsOpen() const noexcept { return fcs != nullptr && fcs->IsOpen(); }

  std::unique_ptr<TOutputFile> fcs;
  std::int64_t textstart = 256;
  // The TEXT end: sized with the placeholders at BeginData, the final
  // TEXT's last byte after EndData.
  std::int64_t textstop = 0;
  std::int64_t datastart = 0;
  std::int64_t datastop = 0;
  std::int64_t Count = 0;
  TPreText Text{false};

 private:
  std::string filename_;
};

}  // namespace dbc
