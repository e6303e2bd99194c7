#include "morvane/jaro_winkler.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "bits.hpp"
#include "morvane/mask_table.hpp"
#include "morvane/text.hpp"

namespace morvane {

namespace jaro_winkler_detail {

namespace {

// Up to this longer length the general scan walks each match window
// directly; beyond it building the buckets costs more than the walk saves
// (BM_GeneralScanAscii in jaro_winkler_benchmark.cpp).
constexpr std::size_t kWalkMax = 20;

// Transpositions of the general scan, from the matched flags of both texts
// (m of each set; flags are 0 or 1).
//
// Whether a position matched is close to random for unrelated texts, so
// neither loop branches on the flags: the first gathers the matched code
// points of text_2 in order (every position writes, a match advances), the
// second compares them with those of text_1 the same way. The slot after the
// last match catches the writes and reads of trailing unmatched positions.
template <class A, class B>
std::size_t transpositions(const A* a, std::size_t len_1, const B* b, std::size_t len_2,
                           const unsigned char* matched_1, const unsigned char* matched_2, std::size_t m) {
  // Short pairs gather on the stack.
  constexpr std::size_t kOnStack = 64;
  B on_stack[kOnStack];
  std::unique_ptr<B[]> on_heap;
  if (m >= kOnStack) on_heap = std::make_unique_for_overwrite<B[]>(m + 1);
  B* const taken = m < kOnStack ? on_stack : on_heap.get();
  taken[m] = B{};
  std::size_t k = 0;
  for (std::size_t j = 0; j < len_2; ++j) {
    taken[k] = b[j];
    k += matched_2[j];
  }
  std::size_t transposed = 0;
  k = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    transposed += matched_1[i] & static_cast<unsigned>(static_cast<char32_t>(a[i]) != static_cast<char32_t>(taken[k]));
    k += matched_1[i];
  }
  return transposed;
}

// The matching step of the general scan as a literal walk over each window,
// in O(len_1 * w): cheaper than building buckets when both texts are short.
template <class A, class B>
std::size_t match_in_windows(const A* a, std::size_t len_1, const B* b, std::size_t len_2,
                             std::size_t w, unsigned char* matched_1,
                             unsigned char* matched_2) noexcept {
  std::size_t m = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    const std::size_t lo = i > w ? i - w : 0;
    const std::size_t hi = std::min(len_2, i + w + 1);
    for (std::size_t j = lo; j < hi; ++j) {
      if (matched_2[j] != 0 || static_cast<char32_t>(a[i]) != static_cast<char32_t>(b[j])) continue;
      matched_2[j] = 1;
      matched_1[i] = 1;
      ++m;
      break;
    }
  }
  return m;
}

// The matching step of the general scan, in O(len_1 + len_2 + buckets).
//
// Every position of text_2 belongs to one bucket (its code point's number,
// key_2(j) < buckets); key_1(i) is the bucket of position i of text_1, or any
// value >= buckets when text_2 lacks its code point. The result equals the
// literal walk: for i ascending, the first unmatched j of the same code point
// in [max(0, i - w), min(len_2 - 1, i + w)].
//
// Invariant, per bucket: positions before the cursor are matched or lie
// below the current window's lower end; positions from the cursor on are
// unmatched. It holds because a j is only ever taken by an i of its own code
// point, i.e. through its own bucket, and the lower end i - w never
// decreases, so a position once below it stays out of reach. The first
// position at or after the cursor that is not below the lower end is
// therefore the walk's j, if it does not exceed the upper end.
//
// Each bucket's positions are stored ascending and closed by kEnd, which
// exceeds every position, so it stops the skip loop and fails the upper-end
// test. Index must hold values up to len_2 + buckets, the number of entries
// after the cursors, below kEnd.
template <class Index, class Key1, class Key2>
std::size_t match_by_buckets(std::size_t len_1, Key1 key_1, std::size_t len_2, Key2 key_2,
                             std::size_t buckets, std::size_t w, unsigned char* matched_1,
                             unsigned char* matched_2) {
  constexpr Index kEnd = std::numeric_limits<Index>::max();
  // The cursors, then every bucket's run of positions followed by kEnd.
  const auto store = std::make_unique_for_overwrite<Index[]>(buckets + len_2 + buckets);
  Index* const cursor = store.get();
  Index* const positions = cursor + buckets;

  // Counting sort: cursor[k] first counts bucket k, then points at the kEnd
  // closing it, and after the backward fill at its first position.
  std::fill_n(cursor, buckets, Index{0});
  for (std::size_t j = 0; j < len_2; ++j) ++cursor[key_2(j)];
  Index slot = 0;
  for (std::size_t k = 0; k < buckets; ++k) {
    slot += cursor[k];
    positions[slot] = kEnd;
    cursor[k] = slot++;
  }
  for (std::size_t j = len_2; j-- > 0;) positions[--cursor[key_2(j)]] = static_cast<Index>(j);

  std::size_t m = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    const std::size_t lo = i > w ? i - w : 0;
    if (lo >= len_2) break;  // no window from here on reaches text_2
    const std::size_t k = key_1(i);
    if (k >= buckets) continue;
    const std::size_t hi = std::min(len_2 - 1, i + w);
    Index c = cursor[k];
    while (positions[c] < lo) ++c;
    // Without a branch on the outcome, which is as good as random. A miss
    // writes a 0 over matched_1[i] and ors 0 into matched_2[0].
    const std::size_t j = positions[c];
    const bool hit = j <= hi;
    matched_1[i] = hit;
    matched_2[hit ? j : 0] |= static_cast<unsigned char>(hit);
    m += hit;
    cursor[k] = static_cast<Index>(c + hit);
  }
  return m;
}

// Calls f.template operator()<Index>() with the narrowest of uint32_t and
// size_t that holds every value up to `largest` and a larger kEnd marker.
template <class F>
decltype(auto) with_index_for(std::size_t largest, F&& f) {
  if (largest < std::numeric_limits<std::uint32_t>::max()) {
    return f.template operator()<std::uint32_t>();
  }
  return f.template operator()<std::size_t>();
}

// Dense bucket numbers 0, 1, 2, ... for the distinct code points of text_2,
// in order of first occurrence. Code points below kDirect (every one- and
// two-byte UTF-8 sequence: Latin, Greek, Cyrillic, Hebrew, Arabic, ...) are
// numbered through a direct table; the others through an open-addressing
// table with linear probing, created on first need and kept at most half
// full.
//
// The direct table is 8 KiB and most calls use a few dozen of its entries,
// so it is not cleared as a whole: admit() clears the entries of one text's
// code points, and add() and find() may only be given admitted code points.
class CodePointNumbers {
 public:
  static constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();

  CodePointNumbers() noexcept = default;

  template <class T>
  void admit(const T* text, std::size_t len) noexcept {
    for (std::size_t k = 0; k < len; ++k) {
      if (text[k] < kDirect) direct_[text[k]] = kAbsent;
    }
  }

  // The number of `c`, assigning the next one on first sight.
  std::uint32_t add(char32_t c) {
    if (c < kDirect) {
      std::uint32_t& n = direct_[c];
      if (n == kAbsent) n = next_number();
      return n;
    }
    if (2 * (others_ + 1) > slots_.size()) grow();
    Slot& slot = *probe(slots_.data(), slots_.size() - 1, shift_, c);
    if (slot.key != c) {
      slot = Slot{c, next_number()};
      ++others_;
    }
    return slot.number;
  }

  // The number of `c`, or kAbsent when it was never added.
  std::uint32_t find(char32_t c) const noexcept {
    if (c < kDirect) return direct_[c];
    if (slots_.empty()) return kAbsent;
    const Slot& slot = *probe(slots_.data(), slots_.size() - 1, shift_, c);
    return slot.key == c ? slot.number : kAbsent;
  }

  std::size_t count() const noexcept { return count_; }

 private:
  struct Slot {
    char32_t key;
    std::uint32_t number;
  };
  static constexpr char32_t kDirect = 0x800;
  static constexpr char32_t kEmpty = 0xFFFFFFFF;  // not a code point
  static constexpr unsigned kInitialBits = 4;

  std::uint32_t next_number() noexcept { return static_cast<std::uint32_t>(count_++); }

  // The slot holding `c`, or the empty slot where it would go. Multiplicative
  // hashing: the top bits of c times the golden-ratio constant.
  template <class S>
  static S* probe(S* slots, std::size_t mask, unsigned shift, char32_t c) noexcept {
    std::size_t k = static_cast<std::uint32_t>(c * 0x9E3779B1u) >> shift;
    while (slots[k].key != c && slots[k].key != kEmpty) k = (k + 1) & mask;
    return slots + k;
  }

  void grow() {
    const std::size_t size = slots_.empty() ? std::size_t{1} << kInitialBits : 2 * slots_.size();
    std::vector<Slot> old(size, Slot{kEmpty, 0});
    old.swap(slots_);
    shift_ = static_cast<unsigned>(32 - std::countr_zero(size));
    for (const Slot& s : old) {
      if (s.key != kEmpty) *probe(slots_.data(), size - 1, shift_, s.key) = s;
    }
  }

  std::uint32_t direct_[kDirect];
  std::vector<Slot> slots_;
  unsigned shift_ = 32;
  std::size_t others_ = 0;
  std::size_t count_ = 0;
};

// Matching and transpositions of a pair whose common prefix has been taken
// off: a and b are what follows it, w the window of the whole texts. Returns
// {matches, transpositions} of the rest.
template <class A, class B>
std::pair<std::size_t, std::size_t> general_rest(const A* a, std::size_t len_1, const B* b, std::size_t len_2,
                                                 std::size_t w, std::size_t longer) {
  std::vector<unsigned char> flags(len_1 + len_2, 0);
  unsigned char* const matched_1 = flags.data();
  unsigned char* const matched_2 = matched_1 + len_1;
  std::size_t m;
  if (longer <= kWalkMax) {
    m = match_in_windows(a, len_1, b, len_2, w, matched_1, matched_2);
  } else if constexpr (sizeof(A) == 1 && sizeof(B) == 1) {
    // One-byte code points are their own bucket numbers.
    constexpr std::size_t kByteBuckets = 256;
    m = with_index_for(len_2 + kByteBuckets, [&]<class Index>() {
      return match_by_buckets<Index>(
          len_1, [a](std::size_t i) -> std::size_t { return a[i]; }, len_2,
          [b](std::size_t j) -> std::size_t { return b[j]; }, kByteBuckets, w, matched_1, matched_2);
    });
  } else {
    CodePointNumbers numbering;
    numbering.admit(a, len_1);
    numbering.admit(b, len_2);
    std::vector<std::uint32_t> numbers_2(len_2);
    for (std::size_t j = 0; j < len_2; ++j) numbers_2[j] = numbering.add(b[j]);
    const std::size_t buckets = numbering.count();
    m = with_index_for(len_2 + buckets, [&]<class Index>() {
      return match_by_buckets<Index>(
          len_1, [&](std::size_t i) -> std::size_t { return numbering.find(a[i]); }, len_2,
          [&](std::size_t j) -> std::size_t { return numbers_2[j]; }, buckets, w, matched_1, matched_2);
    });
  }
  if (m == 0) return {0, 0};
  return {m, transpositions(a, len_1, b, len_2, matched_1, matched_2, m)};
}

// The bit-parallel scan of the rest after the common prefix (see
// general_rest), each part at most 64 code points.
//
// Entry c of the table holds the positions of b holding c; bits i - w to
// i + w of the window are the positions that position i of a may take, and
// the lowest eligible one is the first free j. Only positions below len_2 are
// ever set in the table, so windows reaching past the end need no masking.
template <class A, class B>
std::pair<std::size_t, std::size_t> bit_parallel_rest(const A* a, std::size_t len_1, const B* b,
                                                      std::size_t len_2, std::size_t w) noexcept {
  if (len_1 == 0 || len_2 == 0) return {0, 0};
  MaskTable positions;
  positions.assign_pair(b, len_2, a, len_1);
  std::uint64_t window = window_at(0, w);
  std::uint64_t matched_2 = 0;
  std::uint64_t matched_1 = 0;
  for (std::size_t i = 0; i < len_1; ++i) {
    // Whether a position is free to match is data-dependent and
    // unpredictable, so the update is written without a branch.
    const std::uint64_t e = positions.one_page() ? positions.get_paged(a[i]) : positions.get(a[i]);
    const std::uint64_t eligible = e & window & ~matched_2;
    matched_2 |= eligible & (~eligible + 1);
    matched_1 |= std::uint64_t{eligible != 0} << i;
    window = (window << 1) | std::uint64_t{i < w};
  }
  if (matched_1 == 0) return {0, 0};
  const auto m = static_cast<std::size_t>(popcount64(matched_1));
  std::size_t transposed = 0;
  while (matched_1 != 0) {
    const auto i = static_cast<unsigned>(std::countr_zero(matched_1));
    const auto j = static_cast<unsigned>(std::countr_zero(matched_2));
    transposed += static_cast<char32_t>(a[i]) != static_cast<char32_t>(b[j]);
    matched_1 &= matched_1 - 1;
    matched_2 &= matched_2 - 1;
  }
  return {m, transposed};
}

// Either scan, after taking off the common prefix: for i below its length p,
// position i of text_1 takes position i of text_2, since every earlier one is
// taken and i itself is free, equal and in the window. Those p matches pair
// up in order without a transposition, so only the rest is scanned (with the
// window of the whole texts) and the prefix is added back.
template <bool kBitParallel>
double scan(Text text_1, Text text_2, double p) {
  const std::size_t len_1 = text_1.size();
  const std::size_t len_2 = text_2.size();
  const std::size_t w = match_window(len_1, len_2);
  return with_units(text_1, text_2, [&](const auto* a, std::size_t, const auto* b, std::size_t) {
    const std::size_t prefix = common_prefix_length(a, len_1, b, len_2);
    const auto [m, t] = kBitParallel
                            ? bit_parallel_rest(a + prefix, len_1 - prefix, b + prefix, len_2 - prefix, w)
                            : general_rest(a + prefix, len_1 - prefix, b + prefix, len_2 - prefix, w,
                                           std::max(len_1, len_2));
    if (prefix + m == 0) return 0.0;
    return score(prefix + m, t / 2, std::min(prefix, kPrefixCap), len_1, len_2, p);
  });
}

}  // namespace

double bit_parallel_scan(Text text_1, Text text_2, double p) noexcept { return scan<true>(text_1, text_2, p); }

double general_scan(Text text_1, Text text_2, double p) { return scan<false>(text_1, text_2, p); }

}  // namespace jaro_winkler_detail

Expected<double> validate_prefix_scale(std::optional<double> p) noexcept {
  if (!p) return kDefaultPrefixScale;
  if (*p >= 0.0 && *p <= kMaxPrefixScale) return *p;
  return std::unexpected(MatchError(InvalidPrefixScale{*p}));
}

Expected<double> jaro_winkler_similarity(Text str_1, Text str_2,
                                         std::optional<double> p,
                                         std::optional<std::size_t> max_len,
                                         std::optional<bool> case_insensitive,
                                         std::optional<double> score_cutoff) {
  namespace detail = jaro_winkler_detail;

  const Expected<double> scale = validate_prefix_scale(p);
  if (!scale) return std::unexpected(scale.error());

  const PreparedPair pair(str_1, str_2, case_insensitive.value_or(false));
  const Text text_1 = pair.text_1();
  const Text text_2 = pair.text_2();
  if (auto error = check_limit(text_1.size(), text_2.size(), max_len)) return std::unexpected(*error);

  if (text_1.empty()) return text_2.empty() ? 1.0 : 0.0;
  if (text_2.empty()) return 0.0;

  const double similarity = text_1.size() <= detail::kBitParallelMax && text_2.size() <= detail::kBitParallelMax
                                ? detail::bit_parallel_scan(text_1, text_2, *scale)
                                : detail::general_scan(text_1, text_2, *scale);

  // A NaN cut-off compares false and so keeps the similarity.
  if (score_cutoff && *score_cutoff > similarity) return 0.0;
  return similarity;
}

}  // namespace morvane
