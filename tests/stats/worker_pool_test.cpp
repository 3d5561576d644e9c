#include "stats/worker_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace dbc {
namespace {

TEST(TWorkerPool, Blocks) {
  using B = std::vector<std::pair<int, int>>;
  auto blocks = [](int items, int workers) {
    B out;
    for (const auto& b : TWorkerPool::Blocks(items, workers)) out.emplace_back(b.start, b.count);
    return out;
  };
  EXPECT_EQ(blocks(10, 4), (B{{0, 3}, {3, 3}, {6, 2}, {8, 2}}));
  EXPECT_EQ(blocks(2, 4), (B{{0, 1}, {1, 1}, {2, 0}, {2, 0}}));
  EXPECT_EQ(blocks(1, 1), (B{{0, 1}}));
  EXPECT_EQ(blocks(0, 2), (B{{0, 0}, {0, 0}}));
}

TEST(TWorkerPool, AtLeastOneWorker) {
  EXPECT_GE(TWorkerPool().Workers(), 1);
  EXPECT_EQ(TWorkerPool(3).Workers(), 3);
}

TEST(TWorkerPool, EveryItemOnce) {
  for (const int workers : {1, 2, 3, 7}) {
    for (const int items : {0, 1, 5, 100}) {
      std::vector<std::atomic<int>> seen(static_cast<std::size_t>(items));
      std::atomic<int> calls{0};
      TWorkerPool(workers).Run(items, [&](int start, int count) {
        ++calls;
        for (int i = start; i < start + count; ++i) ++seen[static_cast<std::size_t>(i)];
      });
      for (const auto& s : seen) EXPECT_EQ(s.load(), 1);
      EXPECT_EQ(calls.load(), std::min(items, workers));  // empty blocks are not run
    }
  }
}

TEST(TWorkerPool, ErrorReachesTheCallerAfterAllBlocks) {
  std::atomic<int> finished{0};
  try {
    TWorkerPool(4).Run(8, [&](int start, int) {
      if (start == 2) throw std::runtime_error("block 1 failed");
      if (start == 6) throw std::runtime_error("block 3 failed");
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ++finished;
    });
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "block 1 failed");  // the lowest failing block
    EXPECT_EQ(finished.load(), 2);
  }
}

}  // namespace
}  // namespace dbc
