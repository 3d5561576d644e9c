#pragma once
// Allocator for large event columns. A fresh column is written once in full
// right after allocation; with 4 KiB pages that first touch costs more than
// decoding the data, so blocks of 2 MiB or more are aligned to 2 MiB and
// marked for transparent huge pages (all but a last partial 2 MiB that is
// less than half used, which would waste memory).
#include <cstddef>
#include <new>

namespace dbc {

void* huge_page_alloc(std::size_t bytes);
void huge_page_free(void* p, std::size_t bytes) noexcept;

template <class T>
struct HugePageAllocator {
  using value_type = T;
  HugePageAllocator() noexcept = default;
  template <class U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(huge_page_alloc(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { huge_page_free(p, n * sizeof(T)); }

  template <class U>
  bool operator==(const HugePageAllocator<U>&) const noexcept { return true; }
};

}  // namespace dbc
