// Writing loaded data sets back (SaveAs), appending data sets (Add), and a
// written file over 100 MB read back through the reader.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "fcs/dataset.h"
#include "fcs/fcs_stream.h"
#include "fcs/fcs_write.h"
#include "support/fcs_builder.h"
#include "support/temp_dir.h"

namespace dbc {
namespace {

std::unique_ptr<TFCStream> Open(const std::string& path) {
  return std::make_unique<TFCStream>(path, false, true, [](const std::string& n) {
    ADD_FAILURE() << n;
  });
}

test::FcsBuilder FloatFile(int events, int par, float base) {
  test::FcsBuilder b;
  b.Key("$BYTEORD", "1,2,3,4").Key("$DATATYPE", "F").Key("$MODE", "L");
  b.Key("$PAR", std::to_string(par)).Key("$TOT", std::to_string(events));
  for (int p = 1; p <= par; ++p)
    b.Key("$P" + std::to_string(p) + "N", "P" + std::to_string(p)).Key("$P" + std::to_string(p) + "B", "32");
  for (int e = 0; e < events; ++e)
    for (int p = 0; p < par; ++p) b.data += test::F32(base + static_cast<float>(e * 10 + p));
  return b;
}

TEST(SaveAs, RoundTripsEveryDataSet) {
  struct Case {
    const char* what;
    bool finalDelimiter;  // without it the re-serialised TEXT grows by one byte
    std::int64_t dataGap;
    std::string analysis;
  };
  const Case cases[] = {
      {"room to spare", true, 40, ""},
      {"TEXT grows into the DATA", false, 0, ""},
      {"with ANALYSIS", false, 0, "analysis bytes"},
  };
  for (const auto& c : cases) {
    test::TempDir dir;
    test::FcsBuilder b = FloatFile(6, 3, 0.5f);
    b.finalDelimiter = c.finalDelimiter;
    b.dataGap = c.dataGap;
    b.analysis = c.analysis;
    const std::string src = dir.Write("src.fcs", b.Build());
    const auto in = Open(src);
    in->SaveAs(dir.File("copy.fcs"));
    const auto out = Open(dir.File("copy.fcs"));
    ASSERT_EQ(out->Count(), 1) << c.what;
    const TDataSet& a = *in->dataset[0];
    const TDataSet& o = *out->dataset[0];
    EXPECT_EQ(o.GetEventCount(), 6) << c.what;
    EXPECT_EQ(o.data, a.data) << c.what;
    EXPECT_EQ(o.Text->keys, a.Text->keys) << c.what;
    EXPECT_EQ(o.Text->Values, a.Text->Values) << c.what;
    std::ifstream f(dir.File("copy.fcs"), std::ios::binary);
    const std::string copy{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    const std::int64_t shift = c.finalDelimiter ? 0 : 1;
    EXPECT_EQ(o.Header->bounds[1].start, a.Header->bounds[1].start + shift) << c.what;
    if (!c.analysis.empty()) {
      const auto start = static_cast<std::size_t>(o.Header->bounds[2].start);
      EXPECT_EQ(copy.substr(start, c.analysis.size()), c.analysis) << c.what;
    } else {
      EXPECT_EQ(o.Header->bounds[2].start, 0) << c.what;
      EXPECT_EQ(o.Header->bounds[2].stop, 0) << c.what;
    }
  }
}

TEST(Add, AppendsEventsOfTheSameShape) {
  test::TempDir dir;
  const auto a = Open(dir.Write("a.fcs", FloatFile(3, 2, 0).Build()));
  const auto b = Open(dir.Write("b.fcs", FloatFile(2, 2, 100).Build()));
  const auto c = Open(dir.Write("c.fcs", FloatFile(2, 3, 0).Build()));
  TDataSet& x = *a->dataset[0];
  const TSingleMatrix before = x.data;
  EXPECT_FALSE(x.Add(*c->dataset[0]));
  EXPECT_EQ(x.data, before);
  EXPECT_EQ(x.GetEventCount(), 3);
  EXPECT_EQ(x.Text->GetValue("$TOT"), "3");

  EXPECT_TRUE(x.Add(*b->dataset[0]));
  EXPECT_EQ(x.GetEventCount(), 5);
  EXPECT_EQ(x.Text->GetValue("$TOT"), "5");
  EXPECT_EQ(x.data[1], (TSingleVector{1, 11, 21, 101, 111}));
  EXPECT_TRUE(x.Add(x));
  EXPECT_EQ(x.data[0], (TSingleVector{0, 10, 20, 100, 110, 0, 10, 20, 100, 110}));
}

TEST(FCSWrite, FileOver100MBReadsBack) {
  // 26,000,000 floats: DATA ends beyond 99,999,999, so the header holds 0
  // and the reader takes "$BEGINDATA".
  test::TempDir dir;
  const std::string name = dir.File("big.fcs");
  const std::int64_t events = 13'000'000;
  {
    TFCSWrite w(name);
    w.Text.SetValue("$BYTEORD", "1,2,3,4");
    w.Text.SetValue("$DATATYPE", "F");
    w.Text.SetValue("$MODE", "L");
    w.Text.SetValue("$PAR", "2");
    w.Text.SetValue("$P1N", "A");
    w.Text.SetValue("$P1B", "32");
    w.Text.SetValue("$P2N", "B");
    w.Text.SetValue("$P2B", "32");
    w.BeginData();
    std::vector<float> chunk;
    for (std::int64_t e = 0; e < events; e += 1 << 16) {
      chunk.clear();
      const std::int64_t n = std::min<std::int64_t>(1 << 16, events - e);
      for (std::int64_t i = 0; i < n; ++i) {
        chunk.push_back(static_cast<float>(e + i));
        chunk.push_back(-static_cast<float>((e + i) % 1000));
      }
      w.WriteEvents(chunk.data(), chunk.size(), n);
    }
    w.EndData(0);
    EXPECT_GT(w.datastop, 99'999'999);
  }
  const auto in = Open(name);
  const TDataSet& ds = *in->dataset[0];
  EXPECT_EQ(ds.Header->bounds[1].start, 0);
  EXPECT_EQ(ds.Header->bounds[1].stop, 0);
  ASSERT_EQ(ds.GetEventCount(), events);
  for (std::int64_t e : {std::int64_t{0}, std::int64_t{1}, events / 2, events - 1}) {
    EXPECT_EQ(ds.data[0][static_cast<std::size_t>(e)], static_cast<float>(e));
    EXPECT_EQ(ds.data[1][static_cast<std::size_t>(e)], -static_cast<float>(e % 1000));
  }
}

}  // namespace
}  // namespace dbc
