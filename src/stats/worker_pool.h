#pragma once
// A pool of worker threads that runs one operation over an index range, one
// contiguous block per worker, and returns when every block is done.
#include <functional>
#include <vector>

namespace dbc {

class TWorkerPool {
 public:
  struct TBlock {
    int start = 0;
    int count = 0;
  };

  // workers <= 0: one per hardware thread (at least one).
  explicit TWorkerPool(int workers = 0);

  int Workers() const { return workers_; }

  // The blocks for `items` items on `workers` workers: consecutive, the first
  // (items mod workers) of them one item longer than the rest.
  static std::vector<TBlock> Blocks(int items, int workers);

  // Runs op(start, count) for every non-empty block, each on its own thread,
  // and waits for all of them. An exception thrown by an operation reaches
  // the caller after every block has finished (the one of the lowest block
  // when several throw).
  void Run(int items, const std::function<void(int start, int count)>& op) const;

 private:
  int workers_;
};

}  // namespace dbc
