// The block decoder on its own: groups of four alike parameters next to
// single ones, strides with gaps, odd event counts, one and two threads and
// a source that ends early, against the value-at-a-time decoding.
#include "fcs/block_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "fcs/fcs_stream.h"

namespace dbc {
namespace {

TValuePlan Plan(char type, int n, TValueOrder order, std::uint64_t mask = ~std::uint64_t{0}) {
  TValuePlan p;
  p.type = type;
  p.n = n;
  p.order = order;
  p.mask = mask;
  return p;
}

// Value-at-a-time decoding of the same bytes.
float Expected(const std::string& bytes, std::int64_t at, const TValuePlan& plan) {
  std::array<std::uint8_t, 8> raw{};
  std::memcpy(raw.data(), bytes.data() + at, static_cast<std::size_t>(plan.n));
  return FinishValue(DecodeBinary(raw, plan), plan);
}

TEST(BlockDecoder, MatchesValueAtATimeDecoding) {
  const auto I = TValueOrder::Identity, R = TValueOrder::Reverse, S = TValueOrder::Swap2;
  const std::vector<std::vector<TValuePlan>> layouts = {
      {Plan('F', 4, I), Plan('F', 4, I), Plan('F', 4, I), Plan('F', 4, I), Plan('F', 4, I)},
      {Plan('F', 4, R), Plan('F', 4, R), Plan('F', 4, R), Plan('F', 4, R), Plan('F', 4, R), Plan('F', 4, R),
       Plan('F', 4, R), Plan('F', 4, R)},
      {Plan('I', 2, I, 1023), Plan('I', 2, I), Plan('I', 2, I, 1), Plan('I', 2, I, 65535), Plan('I', 1, I, 127)},
      {Plan('I', 2, S, 4095), Plan('I', 2, R), Plan('I', 2, R, 255), Plan('I', 2, R), Plan('I', 2, R)},
      {Plan('I', 4, I), Plan('I', 4, I, 0xFFFFF), Plan('I', 4, I), Plan('I', 4, I, 1023), Plan('D', 8, R)},
      {Plan('I', 4, R), Plan('I', 4, R), Plan('I', 4, R), Plan('I', 4, R), Plan('I', 3, R), Plan('F', 4, I),
       Plan('F', 4, I), Plan('F', 4, I), Plan('F', 4, I)},
      // Groups broken up by a parameter of another kind.
      {Plan('F', 4, I), Plan('F', 4, I), Plan('F', 4, R), Plan('F', 4, I), Plan('F', 4, I), Plan('F', 4, I),
       Plan('F', 4, I)},
  };
  std::mt19937 rng(7);
  for (std::size_t l = 0; l < layouts.size(); ++l) {
    std::vector<TValuePlan> plans = layouts[l];
    if (l == 6) plans[5].prism = true;  // an adjusted parameter is never grouped
    TEventLayout layout;
    std::int64_t width = 0;
    for (const auto& p : plans) {
      layout.offsets.push_back(width);
      width += p.n;
    }
    for (const std::int64_t gap : {std::int64_t{0}, std::int64_t{2}, 9 * width}) {
      for (const std::int64_t count : {1, 3, 4, 5, 1001, 3003}) {
        for (const int threads : {1, 2}) {
          layout.start = 37;
          layout.valueBytes = width;
          layout.stride = width + gap;
          layout.threads = threads;
          layout.chunkBytes = 4096;  // many chunks, so that both threads get some
          // The source holds `count` events, or a few bytes less.
          const bool cut = count > 2000;
          std::string bytes(static_cast<std::size_t>(layout.start + (count - 1) * layout.stride + width), '\0');
          for (auto& c : bytes) c = static_cast<char>(rng());
          if (cut) bytes.resize(bytes.size() - static_cast<std::size_t>(layout.stride) * 700 - 3);
          TFCStream stream(MemoryByteSource(bytes), "b.fcs");
          TSingleMatrix data;
          const std::int64_t n = DecodeEventBlocks(stream, layout, count, plans, data);
          const std::int64_t expected =
              cut ? (static_cast<std::int64_t>(bytes.size()) - layout.start - width) / layout.stride + 1 : count;
          SCOPED_TRACE("layout " + std::to_string(l) + " gap " + std::to_string(gap) + " count " +
                       std::to_string(count) + " threads " + std::to_string(threads));
          ASSERT_EQ(n, expected);
          ASSERT_EQ(data.size(), plans.size());
          for (std::size_t p = 0; p < plans.size(); ++p)
            for (std::int64_t e = 0; e < n; ++e) {
              const float want = Expected(bytes, layout.start + e * layout.stride + layout.offsets[p], plans[p]);
              const float got = data[p][static_cast<std::size_t>(e)];
              ASSERT_EQ(std::memcmp(&want, &got, sizeof(float)), 0) << "parameter " << p << " event " << e;
            }
        }
      }
    }
  }
}

}  // namespace
}  // namespace dbc
