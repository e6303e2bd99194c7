// Every pair within a threshold without scoring every pair.
//
// Edit distances up to k: each text of the right side at least `pieces`
// code points long is cut into `pieces` parts (k + 1 for Levenshtein; 2k + 1
// for OSA, whose transposition may straddle a cut and so change two parts
// with one edit). A text within k edits of it must then hold one part
// unchanged, shifted by at most the insertions and deletions made before
// it, so only texts sharing such a part are scored.
//
// Jaro-Winkler at least s: every match pairs equal code points, so two texts
// share at least as many code points (counted with repeats) as the fewest
// matches m their lengths allow for s. Taking each text's code points, the
// k-th repeat of one a token of its own, in one global order, rarest first,
// two texts sharing m tokens share one among their first (size - m + 1):
// only texts sharing one of those are scored.
//
// Shorter right texts, an empty left text and normalised distances are
// scored by length runs that the cut-off leaves in.
#include <algorithm>
#include <tuple>
#include <unordered_map>

#include "morvane/damerau_bp.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "morvane/lookup.hpp"

namespace morvane {

namespace {

constexpr std::uint64_t mix(std::uint64_t h) noexcept {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

// The hash of code points [from, from + size) of `text` as the part `part`
// of texts `length` long: code point values only, so that the same part
// stored at different widths hashes alike.
std::uint64_t part_hash(Text text, std::size_t from, std::size_t size, std::size_t length, std::size_t part) noexcept {
  std::uint64_t h = mix((std::uint64_t{length} << 20) ^ part);
  with_units(text, [&](const auto* units, std::size_t) {
    for (std::size_t i = from; i < from + size; ++i) h = mix(h ^ (static_cast<std::uint64_t>(units[i]) + 0x9e3779b97f4a7c15ULL));
  });
  return h;
}

// Start and size of part `i` of `pieces` in a text of `length` code points:
// the first parts are the shorter ones.
std::pair<std::size_t, std::size_t> part_of(std::size_t length, std::size_t pieces, std::size_t i) noexcept {
  const std::size_t base = length / pieces, longer = length % pieces, shorter = pieces - longer;
  if (i < shorter) return {i * base, base};
  return {shorter * base + (i - shorter) * (base + 1), base + 1};
}

}  // namespace

struct JoinIndex::Impl {
  Scoring scoring;
  const ReferenceSet* right = nullptr;
  std::size_t k = 0;
  std::size_t pieces = 0;  // 0: no index, every probe scans length runs
  // (hash, item) of every part, ordered by hash, and an open-addressed table
  // from a hash to its run in `parts`.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> parts;
  struct Slot {
    std::uint64_t hash;
    std::uint32_t begin, end;  // empty slot: begin == end
  };
  std::vector<Slot> table;
  std::uint64_t mask = 0;

  // Jaro-Winkler: the rank of every token of either side (code point and
  // repeat), the fewest shared tokens per pair of lengths (0: none can
  // pass), and for each rank the right items whose prefix holds it.
  bool tokens = false;
  std::unordered_map<std::uint64_t, std::uint32_t> rank;
  std::vector<std::size_t> left_lengths, right_lengths;
  std::vector<std::size_t> fewest;  // [left length index][right length index]
  std::vector<std::size_t> left_alpha, right_alpha;
  std::vector<std::uint32_t> posting_starts, postings;
  std::vector<std::uint32_t> posting_order;  // where the token stands in the right item's order
  std::vector<std::uint32_t> length_index;  // of each right item, in right_lengths

  std::size_t fewest_for(std::size_t li, std::size_t ri) const noexcept {
    return fewest[li * right_lengths.size() + ri];
  }
  // The tokens of a text as ranks, rarest first.
  void ranks_of(Text text, std::vector<std::uint32_t>& out, std::unordered_map<char32_t, std::uint32_t>& seen) const;

  std::pair<std::uint32_t, std::uint32_t> find(std::uint64_t h) const noexcept {
    for (std::uint64_t s = h & mask;; s = (s + 1) & mask) {
      const Slot& slot = table[s];
      if (slot.begin == slot.end) return {0, 0};
      if (slot.hash == h) return {slot.begin, slot.end};
    }
  }

  void scan(Query query, std::size_t self_position, bool self, std::vector<double>& scores,
            std::vector<std::pair<std::uint64_t, double>>& hits) const;
  void probe(Query query, std::size_t self_position, bool self, std::vector<std::uint32_t>& found,
             std::vector<std::pair<std::uint64_t, double>>& hits) const;
  void probe_tokens(Query query, std::size_t self_position, bool self, std::vector<std::uint32_t>& found,
                    std::vector<std::pair<std::uint64_t, double>>& hits) const;
  void build_tokens(const ReferenceSet& left);
};

namespace {

std::uint64_t token_key(char32_t c, std::uint32_t repeat) noexcept {
  return (static_cast<std::uint64_t>(c) << 32) | repeat;
}

template <class F>
void for_each_token(Text text, std::unordered_map<char32_t, std::uint32_t>& seen, F&& f) {
  seen.clear();
  with_units(text, [&](const auto* units, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      const char32_t c = units[i];
      f(token_key(c, seen[c]++));
    }
  });
}

// The fewest matches with which texts of these lengths can reach `s`, or 0
// when no number can. The bound takes no transposition and the longest
// prefix the matches allow, with a margin for rounding.
std::size_t fewest_matches(std::size_t len_1, std::size_t len_2, double s, double p) noexcept {
  const std::size_t most = std::min(len_1, len_2);
  for (std::size_t m = 1; m <= most; ++m) {
    const std::size_t prefix = std::min<std::size_t>(m, jaro_winkler_detail::kPrefixCap);
    if (jaro_winkler_detail::score(m, 0, prefix, len_1, len_2, p) + 1e-9 >= s) return m;
  }
  return 0;
}

}  // namespace

void JoinIndex::Impl::ranks_of(Text text, std::vector<std::uint32_t>& out,
                               std::unordered_map<char32_t, std::uint32_t>& seen) const {
  out.clear();
  for_each_token(text, seen, [&](std::uint64_t key) {
    const auto it = rank.find(key);
    if (it != rank.end()) out.push_back(it->second);
  });
  std::sort(out.begin(), out.end());
}

void JoinIndex::Impl::build_tokens(const ReferenceSet& left) {
  const double s = *scoring.min_similarity;
  // Counts over both sides, then ranks: rarest first, ties by token.
  std::unordered_map<std::uint64_t, std::uint32_t> count;
  std::unordered_map<char32_t, std::uint32_t> seen;
  for (const ReferenceSet* side : {&left, right}) {
    for (const Text t : side->texts()) for_each_token(t, seen, [&](std::uint64_t key) { ++count[key]; });
    if (right == &left) break;  // a self-join's sides are one set
  }
  std::vector<std::pair<std::uint32_t, std::uint64_t>> order;
  order.reserve(count.size());
  for (const auto& [key, n] : count) order.emplace_back(n, key);
  std::sort(order.begin(), order.end());
  rank.reserve(order.size());
  for (std::size_t r = 0; r < order.size(); ++r) rank.emplace(order[r].second, static_cast<std::uint32_t>(r));

  left_lengths.assign(left.lengths().begin(), left.lengths().end());
  right_lengths.assign(right->lengths().begin(), right->lengths().end());
  fewest.assign(left_lengths.size() * right_lengths.size(), 0);
  left_alpha.assign(left_lengths.size(), 0);
  right_alpha.assign(right_lengths.size(), 0);
  for (std::size_t li = 0; li < left_lengths.size(); ++li) {
    for (std::size_t ri = 0; ri < right_lengths.size(); ++ri) {
      const std::size_t m = fewest_matches(left_lengths[li], right_lengths[ri], s, scoring.p);
      fewest[li * right_lengths.size() + ri] = m;
      if (m == 0) continue;
      if (left_alpha[li] == 0 || m < left_alpha[li]) left_alpha[li] = m;
      if (right_alpha[ri] == 0 || m < right_alpha[ri]) right_alpha[ri] = m;
    }
  }

  length_index.resize(right->size());
  for (std::size_t ri = 0; ri < right_lengths.size(); ++ri) {
    for (std::size_t j = right->starts()[ri]; j < right->starts()[ri + 1]; ++j) {
      length_index[j] = static_cast<std::uint32_t>(ri);
    }
  }

  // Postings of the right items' prefixes.
  std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> entries;
  std::vector<std::uint32_t> ranks;
  for (std::size_t ri = 0; ri < right_lengths.size(); ++ri) {
    const std::size_t alpha = right_alpha[ri];
    if (alpha == 0) continue;
    for (std::size_t j = right->starts()[ri]; j < right->starts()[ri + 1]; ++j) {
      ranks_of(right->text(j), ranks, seen);
      const std::size_t prefix = ranks.size() - alpha + 1;
      for (std::size_t t = 0; t < prefix; ++t) {
        entries.emplace_back(ranks[t], static_cast<std::uint32_t>(j), static_cast<std::uint32_t>(t));
      }
    }
  }
  std::sort(entries.begin(), entries.end());
  posting_starts.assign(order.size() + 1, 0);
  postings.resize(entries.size());
  posting_order.resize(entries.size());
  for (std::size_t e = 0; e < entries.size(); ++e) {
    ++posting_starts[std::get<0>(entries[e]) + 1];
    postings[e] = std::get<1>(entries[e]);
    posting_order[e] = std::get<2>(entries[e]);
  }
  for (std::size_t r = 1; r < posting_starts.size(); ++r) posting_starts[r] += posting_starts[r - 1];
  tokens = true;
}

void JoinIndex::Impl::probe_tokens(Query query, std::size_t self_position, bool self,
                                   std::vector<std::uint32_t>& found,
                                   std::vector<std::pair<std::uint64_t, double>>& hits) const {
  const Text a = query.text;
  const auto li = static_cast<std::size_t>(std::lower_bound(left_lengths.begin(), left_lengths.end(), a.size()) -
                                           left_lengths.begin());
  const std::size_t alpha = li < left_alpha.size() ? left_alpha[li] : 0;
  if (alpha == 0) return;
  thread_local std::unordered_map<char32_t, std::uint32_t> seen;
  thread_local std::vector<std::uint32_t> ranks;
  ranks_of(a, ranks, seen);
  found.clear();
  // Only right texts of lengths that can reach the cut-off with this one,
  // a run of the postings (each ordered by item, so by length).
  std::size_t ri_lo = right_lengths.size(), ri_hi = 0;
  for (std::size_t ri = 0; ri < right_lengths.size(); ++ri) {
    if (fewest_for(li, ri) == 0) continue;
    ri_lo = std::min(ri_lo, ri);
    ri_hi = ri + 1;
  }
  if (ri_lo >= ri_hi) return;
  const std::uint32_t j_lo = static_cast<std::uint32_t>(right->starts()[ri_lo]);
  const std::uint32_t j_hi = static_cast<std::uint32_t>(right->starts()[ri_hi]);
  // Each right text once: a stamp per item, set by this probe.
  thread_local std::vector<std::uint64_t> stamps;
  thread_local std::uint64_t probe_number = 0;
  if (stamps.size() != right->size()) {
    stamps.assign(right->size(), 0);
    probe_number = 0;
  }
  const std::uint64_t stamp = ++probe_number;
  std::uint64_t* const stamped = stamps.data();
  // A shared token found at order t of the probe and u of the right text
  // counts only if it lies in both prefixes for that pair of lengths.
  const std::size_t prefix = a.size() - alpha + 1;
  for (std::size_t t = 0; t < prefix && t < ranks.size(); ++t) {
    const std::uint32_t* const begin = postings.data() + posting_starts[ranks[t]];
    const std::uint32_t* const end = postings.data() + posting_starts[ranks[t] + 1];
    for (const std::uint32_t* e = std::lower_bound(begin, end, j_lo); e < end && *e < j_hi; ++e) {
      const std::uint32_t j = *e;
      if (stamped[j] == stamp) continue;
      const std::size_t ri = length_index[j];
      const std::size_t m = fewest_for(li, ri);
      if (m == 0 || t >= a.size() - m + 1 || posting_order[static_cast<std::size_t>(e - postings.data())] >=
                                                   right_lengths[ri] - m + 1)
        continue;
      stamped[j] = stamp;
      if (self && right->position(j) <= self_position) continue;
      found.push_back(j);
    }
  }
  if (found.empty()) return;
  thread_local std::vector<Text> views;
  views.clear();
  for (const std::uint32_t j : found) views.push_back(right->text(j));
  const double s = *scoring.min_similarity;
  const auto scores = jaro_winkler_batch(a, views, scoring.p, std::nullopt, scoring.level);
  for (std::size_t n = 0; n < found.size(); ++n) {
    const double v = (*scores)[n];
    if (v >= s) hits.emplace_back(right->position(found[n]), v);
  }
}

JoinIndex::JoinIndex(const Scoring& scoring, const ReferenceSet& right, const ReferenceSet& left)
    : impl_(std::make_unique<Impl>()) {
  Impl& x = *impl_;
  x.scoring = scoring;
  x.right = &right;
  if (scoring.min_similarity && *scoring.min_similarity > 0.0) {
    x.build_tokens(left);
    return;
  }
  if (!is_distance(scoring.measure) || scoring.normalized || !scoring.max_distance) return;
  x.k = *scoring.max_distance;
  x.pieces = scoring.measure == Measure::levenshtein ? x.k + 1 : 2 * x.k + 1;
  const std::size_t first = right.first_of_length(x.pieces);
  x.parts.reserve((right.size() - first) * x.pieces);
  for (std::size_t j = first; j < right.size(); ++j) {
    const Text t = right.text(j);
    for (std::size_t i = 0; i < x.pieces; ++i) {
      const auto [from, size] = part_of(t.size(), x.pieces, i);
      x.parts.emplace_back(part_hash(t, from, size, t.size(), i), static_cast<std::uint32_t>(j));
    }
  }
  std::sort(x.parts.begin(), x.parts.end());
  std::size_t distinct = 0;
  for (std::size_t a = 0; a < x.parts.size(); ++a) distinct += a == 0 || x.parts[a].first != x.parts[a - 1].first;
  std::size_t slots = 16;
  while (slots < 2 * distinct) slots *= 2;
  x.table.assign(slots, Impl::Slot{0, 0, 0});
  x.mask = slots - 1;
  for (std::size_t a = 0; a < x.parts.size();) {
    std::size_t b = a + 1;
    while (b < x.parts.size() && x.parts[b].first == x.parts[a].first) ++b;
    std::uint64_t s = x.parts[a].first & x.mask;
    while (x.table[s].begin != x.table[s].end) s = (s + 1) & x.mask;
    x.table[s] = {x.parts[a].first, static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)};
    a = b;
  }
}

JoinIndex::~JoinIndex() = default;

void JoinIndex::Impl::scan(Query query, std::size_t self_position, bool self, std::vector<double>& scores,
                           std::vector<std::pair<std::uint64_t, double>>& hits) const {
  const auto lengths = right->lengths();
  const auto starts = right->starts();
  // Runs of lengths the cut-off leaves in, each scored in one batch.
  for (std::size_t g = 0; g < lengths.size();) {
    if (ruled_out(scoring, query, right->lowered(), lengths[g])) {
      ++g;
      continue;
    }
    std::size_t h = g + 1;
    while (h < lengths.size() && !ruled_out(scoring, query, right->lowered(), lengths[h])) ++h;
    score_range(scoring, query, *right, starts[g], starts[h], scores);
    for (std::size_t j = 0; j < scores.size(); ++j) {
      const std::uint64_t position = right->position(starts[g] + j);
      if (self && position <= self_position) continue;
      if (passes(scoring, scores[j])) hits.emplace_back(position, scores[j]);
    }
    g = h;
  }
}

void JoinIndex::Impl::probe(Query query, std::size_t self_position, bool self, std::vector<std::uint32_t>& found,
                            std::vector<std::pair<std::uint64_t, double>>& hits) const {
  const Text r = query.text;
  const std::size_t lr = r.size();
  found.clear();
  // Right texts too short to cut: every one whose length is near enough.
  {
    const std::size_t lo = lr > k ? lr - k : 0;
    const std::size_t hi = std::min(lr + k, pieces - 1);
    const auto [b, e] = right->lengths_between(lo, hi);
    for (std::size_t j = b; j < e; ++j) found.push_back(static_cast<std::uint32_t>(j));
  }
  const auto lengths = right->lengths();
  for (const std::size_t ls : lengths) {
    if (ls < pieces || ls + k < lr) continue;
    if (ls > lr + k) break;
    const std::ptrdiff_t delta = static_cast<std::ptrdiff_t>(lr) - static_cast<std::ptrdiff_t>(ls);
    const std::ptrdiff_t kk = static_cast<std::ptrdiff_t>(k);
    for (std::size_t i = 0; i < pieces; ++i) {
      const auto [from, size] = part_of(ls, pieces, i);
      for (std::ptrdiff_t shift = -kk; shift <= kk; ++shift) {
        if (std::abs(shift) + std::abs(delta - shift) > kk) continue;
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(from) + shift;
        if (at < 0 || static_cast<std::size_t>(at) + size > lr) continue;
        const auto [b, e] = find(part_hash(r, static_cast<std::size_t>(at), size, ls, i));
        for (std::uint32_t a = b; a < e; ++a) found.push_back(parts[a].second);
      }
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  for (const std::uint32_t j : found) {
    const std::uint64_t position = right->position(j);
    if (self && position <= self_position) continue;
    const Text s = right->text(j);
    const auto d = scoring.measure == Measure::levenshtein
                       ? levenshtein_bp(r, s, std::nullopt, std::nullopt, k, scoring.level)
                       : damerau_bp(r, s, std::nullopt, std::nullopt, k, scoring.level);
    if (d && *d <= k) hits.emplace_back(position, static_cast<double>(*d));
  }
}

void JoinIndex::join(const ReferenceSet& left, std::size_t begin, std::size_t end, bool self,
                     std::vector<JoinPair>& out) const {
  std::vector<double> scores;
  std::vector<std::uint32_t> found;
  std::vector<std::pair<std::uint64_t, double>> hits;
  const auto order = left.by_position();
  for (std::size_t n = begin; n < end; ++n) {
    const std::size_t q = order[n];
    const Query query{left.text(q), left.unlowered_length(q)};
    const std::uint64_t position = left.position(q);
    hits.clear();
    if (query.text.size() == 0 || (impl_->pieces == 0 && !impl_->tokens)) {
      impl_->scan(query, position, self, scores, hits);
    } else if (impl_->tokens) {
      impl_->probe_tokens(query, position, self, found, hits);
    } else {
      impl_->probe(query, position, self, found, hits);
    }
    std::sort(hits.begin(), hits.end());
    for (const auto& [right_position, score] : hits) out.push_back({position, right_position, score});
  }
}

}  // namespace morvane
