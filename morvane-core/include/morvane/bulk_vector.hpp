// Vectors for per-candidate arrays of batches (results, views, references).
//
// A batch over a million candidates fills tens of megabytes that are touched
// once and freed at the end of the call. Backed by ordinary 4 KiB pages, the
// first touch of each page is a fault, and at that size the faults weigh on
// the call as the scoring does (bench/bench_peers.py's batch section reports
// the faults per call next to the rates). Arrays of at least one huge page
// are therefore allocated aligned to, and in multiples of, the huge-page size
// and marked as wanting transparent huge pages, which the kernel honours when
// its policy is "madvise" or "always". Smaller arrays use the ordinary
// allocator.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace morvane {

namespace bulk_detail {

// Size of a huge page on the platforms this is built for.
inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// `bytes` rounded up to whole huge pages, aligned to a huge page; throws
// std::bad_alloc when the allocator refuses.
void* allocate_huge(std::size_t bytes);
void deallocate_huge(void* p) noexcept;

}  // namespace bulk_detail

// How many items ahead a walk over a batch's candidates (taking them in,
// scoring them, releasing them) asks for the memory of the item it will
// reach: a large batch has its candidates out of the caches, and a shuffled
// list has them all over the heap.
inline constexpr std::size_t kPrefetchDistance = 24;

template <class T>
struct BulkAllocator {
  using value_type = T;

  BulkAllocator() noexcept = default;
  template <class U>
  BulkAllocator(const BulkAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < bulk_detail::kHugePage) return std::allocator<T>().allocate(n);
    return static_cast<T*>(bulk_detail::allocate_huge(bytes));
  }

  // Elements made without arguments are left uninitialised (results are
  // written in full before they are read): a million-candidate result
  // vector is not cleared for nothing. Other constructions as usual.
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) < bulk_detail::kHugePage) {
      std::allocator<T>().deallocate(p, n);
    } else {
      bulk_detail::deallocate_huge(p);
    }
  }

  template <class U>
  bool operator==(const BulkAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using BulkVector = std::vector<T, BulkAllocator<T>>;

}  // namespace morvane
