// Every pair within a threshold without scoring every pair.
//
// Edit distances up to k: each text of the right side at least `pieces`
// code points long is cut into `pieces` parts (k + 1 for Levenshtein; 2k + 1
// for OSA, whose transposition may straddle a cut and so change two parts
// with one edit). A text within k edits of it must then hold one part
// unchanged, shifted by at most the insertions and deletions made before
// it, so only texts sharing such a part are scored. Shorter right texts,
// an empty left text, normalised distances and Jaro-Winkler are scored by
// length runs that the cut-off leaves in.
#include <algorithm>

#include "morvane/damerau_bp.hpp"
#include "morvane/jaro_winkler.hpp"
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
};

JoinIndex::JoinIndex(const Scoring& scoring, const ReferenceSet& right, const ReferenceSet& /*left*/)
    : impl_(std::make_unique<Impl>()) {
  Impl& x = *impl_;
  x.scoring = scoring;
  x.right = &right;
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
  for (std::size_t g = 0; g < lengths.size(); ++g) {
    if (ruled_out(scoring, query, right->lowered(), lengths[g])) continue;
    score_range(scoring, query, *right, starts[g], starts[g + 1], scores);
    for (std::size_t j = 0; j < scores.size(); ++j) {
      const std::uint64_t position = right->position(starts[g] + j);
      if (self && position <= self_position) continue;
      if (passes(scoring, scores[j])) hits.emplace_back(position, scores[j]);
    }
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
    if (impl_->pieces == 0 || query.text.size() == 0) {
      impl_->scan(query, position, self, scores, hits);
    } else {
      impl_->probe(query, position, self, found, hits);
    }
    std::sort(hits.begin(), hits.end());
    for (const auto& [right_position, score] : hits) out.push_back({position, right_position, score});
  }
}

}  // namespace morvane
