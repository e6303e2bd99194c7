#include "morvane/jaro_winkler_batch.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

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
  if (!query.empty() && query.size() <= jaro_winkler_detail::kBitParallelMax && is_ascii(query)) {
    out.folded_.assign(query);
    if (out.case_insensitive_) fold_ascii_letters(out.folded_);
    const unsigned char* const q = bytes_of(out.folded_);
    for (std::size_t j = 0; j < out.folded_.size(); ++j) {
      out.ascii_masks_[q[j]] |= std::uint64_t{1} << j;
    }
    out.char_count_ = query.size();
    out.ascii_ready_ = true;
  } else {
    out.char_count_ = count_code_points(query);
  }
  out.query_.assign(query);
  return out;
}

double JaroWinklerQuery::fast_similarity(std::string_view candidate) const noexcept {
  const unsigned char* const c = bytes_of(candidate);
  const unsigned char* const q = bytes_of(folded_);
  const std::size_t len_q = char_count_;
  const std::size_t len_c = candidate.size();
  // Full lowercase folding of ASCII text lowers exactly A-Z, so lowering
  // candidate bytes on the fly matches what the single-pair operation sees.
  const unsigned fold_bit = case_insensitive_ ? 0x20u : 0u;
  const auto at = [c, fold_bit](std::size_t j) noexcept {
    const unsigned char b = c[j];
    return static_cast<unsigned char>(is_ascii_upper(b) ? (b | fold_bit) : b);
  };

  // The candidate drives and the query is tabled, the reverse of the
  // single-pair scan. Greedy first-free matching inside a window that slides
  // monotonically picks the same positions in either direction, so m and the
  // transpositions agree. Whether the candidate is ASCII is learnt on the
  // way: a byte from 0x80 up reads some table entry (masked to stay inside
  // the table), and the whole result is then discarded.
  const std::size_t w = jaro_winkler_detail::match_window(len_q, len_c);
  std::uint64_t window = (std::uint64_t{1} << (w + 1)) - 1;
  std::uint64_t matched_q = 0;
  std::uint64_t matched_c = 0;
  std::size_t m = 0;
  unsigned seen = 0;
  for (std::size_t j = 0; j < len_c; ++j) {
    const unsigned char b = at(j);
    seen |= b;
    // Whether a position is free to match is data-dependent and
    // unpredictable, so the update is written without a branch.
    const std::uint64_t eligible = ascii_masks_[b & 0x7Fu] & window & ~matched_q;
    const std::uint64_t hit = eligible != 0;
    matched_q |= eligible & (~eligible + 1);
    matched_c |= hit << j;
    m += hit;
    window = (window << 1) | std::uint64_t{j < w};
  }
  if (seen & 0x80u) return -1.0;
  if (m == 0) return 0.0;

  std::size_t transposed = 0;
  while (matched_c != 0) {
    const auto j = static_cast<std::size_t>(std::countr_zero(matched_c));
    const auto i = static_cast<std::size_t>(std::countr_zero(matched_q));
    transposed += at(j) != q[i];
    matched_c &= matched_c - 1;
    matched_q &= matched_q - 1;
  }

  const std::size_t prefix_limit = std::min({jaro_winkler_detail::kPrefixCap, len_q, len_c});
  std::size_t prefix = 0;
  while (prefix < prefix_limit && at(prefix) == q[prefix]) ++prefix;

  return jaro_winkler_detail::score(m, transposed / 2, prefix, len_q, len_c, p_);
}

double JaroWinklerQuery::similarity(std::string_view candidate) const {
  if (char_count_ == 0) return candidate.empty() ? 1.0 : 0.0;
  if (candidate.empty()) return 0.0;
  if (ascii_ready_ && candidate.size() <= jaro_winkler_detail::kBitParallelMax) {
    const double score = fast_similarity(candidate);
    if (score >= 0.0) return score;
  }
  // With a validated scale and no limit the operation has no error to give.
  const Expected<double> score = jaro_winkler_similarity(query_, candidate, p_, std::nullopt,
                                                         case_insensitive_, std::nullopt);
  return score ? *score : 0.0;
}

Expected<std::vector<double>> jaro_winkler_batch(std::string_view query,
                                                 std::span<const std::string_view> candidates,
                                                 std::optional<double> p,
                                                 std::optional<bool> case_insensitive) {
  const Expected<JaroWinklerQuery> prepared = JaroWinklerQuery::create(query, p, case_insensitive);
  if (!prepared) return std::unexpected(prepared.error());

  std::vector<double> scores(candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    // The bytes of a candidate some places ahead are asked for early: large
    // batches have them out of the caches.
    if (i + 16 < candidates.size()) __builtin_prefetch(candidates[i + 16].data());
    scores[i] = prepared->similarity(candidates[i]);
  }
  return scores;
}

}  // namespace morvane
