#include "morvane/jaro_winkler_batch.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "morvane/casefold.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/text.hpp"

namespace morvane {

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Full;

// A-Z, by one unsigned comparison: (b + 0xBF) mod 256 == b - 'A' mod 256.
constexpr bool is_ascii_upper(unsigned char b) noexcept {
  return static_cast<unsigned char>(b + 0xBFu) < 0x1Au;
}

// Eight bytes at once: for each byte below 0x80, bit 7 of (low7 + 0x3F) is
// set from 'A' up and bit 7 of (low7 + 0x25) from '[' up; neither sum can
// carry into the next byte because bit 7 was cleared first.
inline std::uint64_t fold_word(std::uint64_t w) noexcept {
  const std::uint64_t low7 = w & kLowBits;
  const std::uint64_t from_a = low7 + 0x3F3F3F3F3F3F3F3Full;
  const std::uint64_t past_z = low7 + 0x2525252525252525ull;
  const std::uint64_t upper = from_a & ~past_z & ~w & kHighBits;
  return w | (upper >> 2);
}

constexpr std::size_t kMaxCodePoints = 64;

// The code points of `text` as table rows, A-Z lowered when `fold_bit` is
// 0x20, every code point from 128 up as the always-zero row. Returns the
// number of code points, or kMaxCodePoints + 1 as soon as there are more than
// kMaxCodePoints (`rows` has room for kMaxCodePoints).
std::size_t to_rows(std::string_view text, unsigned fold_bit, unsigned char* rows) noexcept {
  const unsigned char* p = bytes_of(text);
  const unsigned char* const end = p + text.size();
  std::size_t n = 0;
  for (; p < end; ++n) {
    if (n == kMaxCodePoints) return n + 1;
    const unsigned char b = *p;
    if (b < 0x80) {
      rows[n] = static_cast<unsigned char>(is_ascii_upper(b) ? (b | fold_bit) : b);
      ++p;
    } else {
      // A lead byte; the text is valid UTF-8.
      rows[n] = JaroWinklerQuery::kNonAscii;
      p += b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    }
  }
  return n;
}

}  // namespace

void fold_ascii_letters(std::span<char> text) noexcept {
  char* p = text.data();
  std::size_t n = text.size();
  for (; n >= 32; n -= 32, p += 32) {
    std::uint64_t w[4];
    std::memcpy(w, p, sizeof w);
    for (auto& word : w) word = fold_word(word);
    std::memcpy(p, w, sizeof w);
  }
  for (; n >= 8; n -= 8, p += 8) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    w = fold_word(w);
    std::memcpy(p, &w, sizeof w);
  }
  for (; n > 0; --n, ++p) {
    const auto b = static_cast<unsigned char>(*p);
    if (is_ascii_upper(b)) *p = static_cast<char>(b | 0x20u);
  }
}

Expected<JaroWinklerQuery> JaroWinklerQuery::create(std::string_view query,
                                                    std::optional<double> p,
                                                    std::optional<bool> case_insensitive) {
  const Expected<double> scale = validate_prefix_scale(p);
  if (!scale) return std::unexpected(scale.error());

  JaroWinklerQuery out;
  out.p_ = *scale;
  out.case_insensitive_ = case_insensitive.value_or(false);
  if (!query.empty() && is_ascii(query)) {
    out.folded_.assign(query);
    if (out.case_insensitive_) fold_ascii_letters(out.folded_);
    const std::size_t len = query.size();
    out.words_ = (len + 63) / 64;
    out.masks_.assign(out.words_ * kRows, 0);
    out.first_.fill(len);
    out.end_.fill(0);
    const unsigned char* const q = bytes_of(out.folded_);
    for (std::size_t i = 0; i < len; ++i) {
      const unsigned char r = q[i];
      out.masks_[(i / 64) * kRows + r] |= std::uint64_t{1} << (i % 64);
      out.first_[r] = std::min(out.first_[r], i);
      out.end_[r] = i + 1;
    }
    out.char_count_ = len;
    out.ascii_ready_ = true;
  } else {
    out.char_count_ = count_code_points(query);
  }
  out.query_.assign(query);
  return out;
}

std::size_t JaroWinklerQuery::reach(std::size_t len_c) const noexcept {
  return std::min(char_count_, len_c + jaro_winkler_detail::match_window(char_count_, len_c));
}

template <bool kLearnAscii>
double JaroWinklerQuery::one_word_scan(const unsigned char* c, std::size_t len_c,
                                       unsigned fold_bit) const noexcept {
  const unsigned char* const q = bytes_of(folded_);
  const std::size_t len_q = char_count_;
  // Full lowercase folding of ASCII text lowers exactly A-Z, so lowering
  // candidate bytes on the fly matches what the single-pair operation sees.
  // Row numbers arrive folded already; kNonAscii is no letter and stays.
  const auto at = [c, fold_bit](std::size_t j) noexcept {
    const unsigned char b = c[j];
    if constexpr (!kLearnAscii) return b;
    return static_cast<unsigned char>(is_ascii_upper(b) ? (b | fold_bit) : b);
  };

  // The candidate drives and the query is tabled, the reverse of the
  // single-pair scan. Greedy first-free matching inside a window that slides
  // monotonically picks the same positions in either direction, so m and the
  // transpositions agree. The caller makes sure that no window reaches past
  // query position 63, so word 0 of each row is all that matters; the window
  // may start wider than 64 bits (a query longer than 128), it is then all
  // ones until it starts to slide.
  // When the bytes are the caller's text, whether it is ASCII is learnt on
  // the way: a byte from 0x80 up reads some table row (masked to stay inside
  // the ASCII rows), and the whole result is then discarded.
  const std::size_t w = jaro_winkler_detail::match_window(len_q, len_c);
  std::uint64_t window = w >= 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (w + 1)) - 1;
  std::uint64_t matched_q = 0;
  std::uint64_t matched_c = 0;
  std::size_t m = 0;
  unsigned seen = 0;
  for (std::size_t j = 0; j < len_c; ++j) {
    const unsigned char b = at(j);
    unsigned row = b;
    if constexpr (kLearnAscii) {
      seen |= b;
      row = b & 0x7Fu;
    }
    // Whether a position is free to match is data-dependent and
    // unpredictable, so the update is written without a branch.
    const std::uint64_t eligible = masks_[row] & window & ~matched_q;
    const std::uint64_t hit = eligible != 0;
    matched_q |= eligible & (~eligible + 1);
    matched_c |= hit << j;
    m += hit;
    window = (window << 1) | std::uint64_t{j < w};
  }
  if (kLearnAscii && (seen & 0x80u)) return -1.0;
  if (m == 0) return 0.0;

  std::size_t transposed = 0;
  while (matched_c != 0) {
    const auto j = static_cast<std::size_t>(std::countr_zero(matched_c));
    const auto i = static_cast<std::size_t>(std::countr_zero(matched_q));
    transposed += at(j) != q[i];
    matched_c &= matched_c - 1;
    matched_q &= matched_q - 1;
  }

  const std::size_t prefix_limit = jaro_winkler_detail::prefix_limit(len_q, len_c);
  std::size_t prefix = 0;
  while (prefix < prefix_limit && at(prefix) == q[prefix]) ++prefix;

  return jaro_winkler_detail::score(m, transposed / 2, prefix, len_q, len_c, p_);
}

double JaroWinklerQuery::multi_word_scan(const unsigned char* c, std::size_t len_c,
                                         std::uint64_t* matched) const noexcept {
  const unsigned char* const q = bytes_of(folded_);
  const std::size_t len_q = char_count_;
  const std::size_t w = jaro_winkler_detail::match_window(len_q, len_c);

  // The same greedy matching as one_word_scan, with the window of candidate
  // position j, query positions j - w to j + w, cut to where the query holds
  // that row at all and built word by word: the lowest free position is
  // searched from the window's first word upward, stopping at the first word
  // that has one.
  std::uint64_t matched_c = 0;
  std::size_t m = 0;
  for (std::size_t j = 0; j < len_c; ++j) {
    const unsigned r = c[j];
    const std::size_t lo = std::max(j > w ? j - w : 0, first_[r]);
    const std::size_t end = std::min(j + w + 1, end_[r]);
    if (lo >= end) continue;
    const std::size_t last = (end - 1) / 64;
    const std::uint64_t* const column = masks_.data() + r;
    std::size_t k = lo / 64;
    std::uint64_t x = column[k * kRows] & ~matched[k] & (~std::uint64_t{0} << (lo % 64));
    while (x == 0 && k < last) {
      ++k;
      x = column[k * kRows] & ~matched[k];
    }
    if (k == last) x &= ~std::uint64_t{0} >> (63 - (end - 1) % 64);
    if (x == 0) continue;
    matched[k] |= x & (~x + 1);
    matched_c |= std::uint64_t{1} << j;
    ++m;
  }
  if (m == 0) return 0.0;

  // Pairs the matched positions in order; each query bit is cleared as it is
  // paired, and there are as many as candidate bits, so `matched` ends zero.
  std::size_t transposed = 0;
  std::size_t k = 0;
  while (matched_c != 0) {
    const auto j = static_cast<std::size_t>(std::countr_zero(matched_c));
    while (matched[k] == 0) ++k;
    const std::size_t i = k * 64 + static_cast<std::size_t>(std::countr_zero(matched[k]));
    transposed += c[j] != q[i];
    matched[k] &= matched[k] - 1;
    matched_c &= matched_c - 1;
  }

  const std::size_t prefix =
      jaro_winkler_detail::common_prefix(c, q, jaro_winkler_detail::prefix_limit(len_q, len_c));
  return jaro_winkler_detail::score(m, transposed / 2, prefix, len_q, len_c, p_);
}

double JaroWinklerQuery::fallback(std::string_view candidate) const {
  // With a validated scale and no limit the operation has no error to give.
  const Expected<double> score = jaro_winkler_similarity(query_, candidate, p_, std::nullopt,
                                                         case_insensitive_, std::nullopt);
  return score ? *score : 0.0;
}

double JaroWinklerQuery::similarity(std::string_view candidate,
                                    JaroWinklerScratch& scratch) const {
  if (char_count_ == 0) return candidate.empty() ? 1.0 : 0.0;
  if (candidate.empty()) return 0.0;
  if (!ascii_ready_) return fallback(candidate);
  const unsigned fold_bit = case_insensitive_ ? 0x20u : 0u;

  // Most candidates are short ASCII words: read them in place.
  if (candidate.size() <= kMaxCodePoints && reach(candidate.size()) <= 64) {
    const double score = one_word_scan<true>(bytes_of(candidate), candidate.size(), fold_bit);
    if (score >= 0.0) return score;
  }

  // Otherwise the candidate becomes row numbers, one per code point. A
  // non-ASCII letter may fold to ASCII (KELVIN SIGN to k) or to more than one
  // code point (U+0130 to i and U+0307), so such a candidate is folded in
  // full first and its folded code points are what counts.
  std::string_view text = candidate;
  if (case_insensitive_ && !is_ascii(candidate)) {
    // Folding never shortens a text: too many code points before it means
    // too many after it.
    if (candidate.size() > kMaxCodePoints && count_code_points(candidate) > kMaxCodePoints) {
      return fallback(candidate);
    }
    fold_lower(candidate, scratch.folded);
    text = scratch.folded;
  }
  unsigned char rows[kMaxCodePoints];
  const std::size_t len_c = to_rows(text, fold_bit, rows);
  if (len_c > kMaxCodePoints) return fallback(candidate);
  if (reach(len_c) <= 64) return one_word_scan<false>(rows, len_c, 0);
  if (scratch.matched.size() < words_) scratch.matched.resize(words_);
  return multi_word_scan(rows, len_c, scratch.matched.data());
}

double JaroWinklerQuery::similarity(std::string_view candidate) const {
  JaroWinklerScratch scratch;
  return similarity(candidate, scratch);
}

Expected<BulkVector<double>> jaro_winkler_batch(std::string_view query,
                                                 std::span<const std::string_view> candidates,
                                                 std::optional<double> p,
                                                 std::optional<bool> case_insensitive) {
  const Expected<JaroWinklerQuery> prepared = JaroWinklerQuery::create(query, p, case_insensitive);
  if (!prepared) return std::unexpected(prepared.error());

  JaroWinklerScratch scratch;
  BulkVector<double> scores(candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    // The bytes of a candidate some places ahead are asked for early: large
    // batches have them out of the caches.
    if (i + 16 < candidates.size()) __builtin_prefetch(candidates[i + 16].data());
    scores[i] = prepared->similarity(candidates[i], scratch);
  }
  return scores;
}

}  // namespace morvane
