#include "stats/worker_pool.h"

#include <exception>
#include <thread>

namespace dbc {

TWorkerPool::TWorkerPool(int workers) {
  if (workers <= 0) workers = static_cast<int>(std::thread::hardware_concurrency());
  workers_ = workers > 0 ? workers : 1;
}

std::vector<TWorkerPool::TBlock> TWorkerPool::Blocks(int items, int workers) {
  if (workers < 1) workers = 1;
  if (items < 0) items = 0;
  std::vector<TBlock> blocks(static_cast<std::size_t>(workers));
  const int base = items / workers;
  const int longer = items % workers;
  int start = 0;
  for (int i = 0; i < workers; ++i) {
    const int count = base + (i < longer ? 1 : 0);
    blocks[static_cast<std::size_t>(i)] = {start, count};
    start += count;
  }
  return blocks;
}

void TWorkerPool::Run(int items, const std::function<void(int start, int count)>& op) const {
  const std::vector<TBlock> blocks = Blocks(items, workers_);
  std::vector<std::exception_ptr> errors(blocks.size());
  auto run_block = [&](std::size_t b) {
    try {
      op(blocks[b].start, blocks[b].count);
    } catch (...) {
      errors[b] = std::current_exception();
    }
  };

  // Block 0 runs on the calling thread; a block whose thread cannot be
  // started runs there too, after it.
  std::vector<std::thread> threads;
  std::vector<std::size_t> inline_blocks;
  threads.reserve(blocks.size());
  inline_blocks.reserve(blocks.size());
  for (std::size_t b = 1; b < blocks.size(); ++b) {
    if (blocks[b].count == 0) continue;
    try {
      threads.emplace_back(run_block, b);
    } catch (...) {
      inline_blocks.push_back(b);
    }
  }
  if (!blocks.empty() && blocks[0].count > 0) run_block(0);
  for (const std::size_t b : inline_blocks) run_block(b);
  for (std::thread& t : threads) t.join();

  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace dbc
