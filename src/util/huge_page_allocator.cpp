#include "util/huge_page_allocator.h"

#include <sys/mman.h>

#include <cstdlib>

namespace dbc {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}

void* huge_page_alloc(std::size_t bytes) {
  if (bytes == 0) bytes = 1;
  if (bytes < kHugePage) {
    void* p = std::malloc(bytes);
    if (!p) throw std::bad_alloc();
    return p;
  }
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (!p) throw std::bad_alloc();
  // A huge page over the last, partial block is resident in full: it is
  // asked for only when the block is at least half used (else the tail
  // takes small pages, and the block's unused part no memory).
  const std::size_t tail = bytes % kHugePage;
  madvise(p, tail >= kHugePage / 2 ? rounded : bytes - tail, MADV_HUGEPAGE);
  return p;
}

void huge_page_free(void* p, std::size_t) noexcept { std::free(p); }

}  // namespace dbc
