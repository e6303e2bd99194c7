#include "morvane/bulk_vector.hpp"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace morvane::bulk_detail {

void* allocate_huge(std::size_t bytes) {
  const std::size_t rounded = (bytes + (kHugePage - 1)) & ~(kHugePage - 1);
  if (rounded < bytes) throw std::bad_array_new_length();
  void* const p = std::aligned_alloc(kHugePage, rounded);
  if (p == nullptr) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
  // Only advice: where the kernel has no huge pages to give, the memory is
  // ordinary memory and nothing else changes.
  ::madvise(p, rounded, MADV_HUGEPAGE);
#endif
  return p;
}

void deallocate_huge(void* p) noexcept { std::free(p); }

}  // namespace morvane::bulk_detail
