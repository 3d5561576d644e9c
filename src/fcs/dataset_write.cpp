// Appending one data set's events to another, and writing loaded data sets
// back to a file.
#include <algorithm>
#include <limits>

#include "fcs/byte_source.h"
#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fcs/fcs_write.h"
#include "util/errors.h"
#include "util/text.h"

namespace dbc {

namespace {

// Copies len bytes at `from` in the source to the file's position.
void CopySegment(TByteSource& src, std::int64_t from, std::int64_t len, TOutputFile& f) {
  if (len <= 0) return;
  if (from < 0 || from > src.Size() || len > src.Size() - from) throw Exception("Stream read error");
  std::string chunk(static_cast<std::size_t>(std::min<std::int64_t>(len, 1 << 20)), '\0');
  while (len > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(len, static_cast<std::int64_t>(chunk.size())));
    if (src.ReadAt(from, chunk.data(), n) != n) throw Exception("Stream read error");
    f.Write(chunk.data(), n);
    from += static_cast<std::int64_t>(n);
    len -= static_cast<std::int64_t>(n);
  }
}

std::int64_t KeywordOffset(const TText& text, const char* key) {
  try {
    return StrToInt64(Trim(text.GetValue(key)));
  } catch (const Exception&) {
    return 0;
  }
}

std::uint64_t At(std::int64_t base, std::int64_t offset) {
  if (base < 0 || offset < 0) throw Exception("Stream write error");
  return static_cast<std::uint64_t>(base + offset);
}

}  // namespace

bool TDataSet::Add(const TDataSet& ds) {
  if (!Text || !ds.Text || parcount() != ds.parcount()) return false;
  const std::int64_t old = GetEventCount();
  const std::int64_t added = ds.GetEventCount();
  if (old + added > std::numeric_limits<std::int32_t>::max()) return false;
  // Copied first, so that adding a data set to itself doubles it.
  const TSingleMatrix source = &ds == this ? ds.data : TSingleMatrix{};
  const TSingleMatrix& from = &ds == this ? source : ds.data;
  Text->tot = static_cast<std::int32_t>(old + added);
  Text->SetValue("$TOT", std::to_string(Text->tot));
  if (data.size() == static_cast<std::size_t>(parcount())) {
    for (std::size_t p = 0; p < data.size(); ++p) {
      auto& column = data[p];
      column.resize(static_cast<std::size_t>(old + added), 0.0f);
      if (p < from.size()) {
        const std::size_t n = std::min(from[p].size(), static_cast<std::size_t>(added));
        std::copy_n(from[p].begin(), n, column.begin() + old);
      }
    }
  }
  return true;
}

void TDataSet::WriteTo(TOutputFile& f) const {
  if (!Header || !Text || Header->Count() < 3) throw Exception("Cannot write a data set without header");
  const auto source = OpenFileByteSource(Parent->fname);
  const std::int64_t base = static_cast<std::int64_t>(f.Position());

  // Version text and TEXT start, as in the source.
  std::string head(18, ' ');
  if (Offset < 0 || source->ReadAt(Offset, head.data(), head.size()) != head.size())
    throw Exception("Stream read error");
  f.Write(head);

  const std::int64_t textStart = Header->bounds[0].start;
  if (textStart < 58) throw Exception("Cannot write a data set whose TEXT starts inside its header");
  f.Seek(At(base, textStart));
  f.Write(Text->Serialize());
  const std::int64_t textEnd = static_cast<std::int64_t>(f.Position()) - base - 1;

  // A header DATA start of 0 leaves the offsets to the TEXT keywords.
  std::int64_t dataStart = Header->bounds[1].start, dataEnd = Header->bounds[1].stop;
  if (dataStart == 0) {
    dataStart = KeywordOffset(*Text, "$BEGINDATA");
    dataEnd = KeywordOffset(*Text, "$ENDDATA");
  }
  const std::int64_t shift = textEnd >= dataStart ? textEnd - dataStart + 1 : 0;
  const TStartStop analysis = Header->bounds[2];
  const bool hasAnalysis = !(analysis.start == 0 && analysis.stop == 0);
  auto field = [](std::int64_t v) { return OffsetField(v > kMaxHeaderOffset ? 0 : v); };
  const bool dataFits = dataStart + shift <= kMaxHeaderOffset && dataEnd + shift <= kMaxHeaderOffset;
  f.Seek(At(base, 18));
  f.Write(OffsetField(textEnd) + (dataFits ? OffsetField(dataStart + shift) : field(0)) +
          (dataFits ? OffsetField(dataEnd + shift) : field(0)) +
          (hasAnalysis ? field(analysis.start + shift) + field(analysis.stop + shift)
                       : OffsetField(0) + OffsetField(0)));

  std::int64_t end = textEnd + 1;
  f.Seek(At(base, dataStart + shift));
  CopySegment(*source, Offset + dataStart, dataEnd - dataStart + 1, f);
  end = std::max(end, dataStart + shift + std::max<std::int64_t>(0, dataEnd - dataStart + 1));
  if (hasAnalysis) {
    f.Seek(At(base, analysis.start + shift));
    const std::int64_t len = std::int64_t{analysis.stop} - analysis.start + 1;
    CopySegment(*source, Offset + analysis.start, len, f);
    end = std::max(end, analysis.start + shift + std::max<std::int64_t>(0, len));
  }
  f.Seek(At(base, end));
}

void TFCStream::SaveAs(const std::string& fname) const {
  if (badfile) return;
  TOutputFile f(fname);
  for (const auto& ds : dataset)
    if (ds) ds->WriteTo(f);
  f.Close();
}

}  // namespace dbc
