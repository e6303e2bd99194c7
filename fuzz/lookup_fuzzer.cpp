// Reference sets and what is computed over them (matrices, best matches,
// joins) at every instruction-set level this processor runs, every score
// against the batch function on the original texts.
//
// Input: an options byte (bits 0-1 the measure, bit 2 folding, bit 3
// normalised distances), a cut-off byte (255: none), the alphabet, then up
// to 40 left (enough to fill the narrowest lanes' blocks) and 16 right texts, each new or an edited copy of an earlier
// one (fuzz_input.hpp).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_input.hpp"
#include "morvane/damerau_batch.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "morvane/lookup.hpp"
#include "morvane/simd.hpp"

namespace {

using morvane::Measure;
using morvane::Text;
using reference::NativeText;

constexpr std::size_t kMaxText = 90;  // past the many-query kernels' 64

[[noreturn]] void fail(const char* what, std::size_t i, std::size_t j, double got, double want) {
  std::fprintf(stderr, "%s: left %zu right %zu: got %.17g, want %.17g\n", what, i, j, got, want);
  std::abort();
}

double batch_score(Measure m, Text q, Text c, bool fold, bool normalized) {
  const std::optional<bool> f = fold;
  const Text one[] = {c};
  if (m == Measure::jaro_winkler) return (*morvane::jaro_winkler_batch(q, one, 0.1, f))[0];
  const std::size_t d = m == Measure::levenshtein ? morvane::levenshtein_batch(q, one, f)[0]
                                                  : morvane::damerau_batch(q, one, f)[0];
  if (!normalized) return static_cast<double>(d);
  const std::size_t lq = fold ? morvane::LowerText(q).text().size() : q.size();
  const std::size_t lc = fold ? morvane::LowerText(c).text().size() : c.size();
  return std::max(lq, lc) == 0 ? 0.0 : static_cast<double>(d) / static_cast<double>(std::max(lq, lc));
}

morvane::ReferenceSet make_set(const std::vector<NativeText>& texts, bool fold) {
  std::vector<Text> views(texts.begin(), texts.end());
  std::vector<std::uint64_t> positions(texts.size());
  for (std::size_t i = 0; i < positions.size(); ++i) positions[i] = i;
  std::size_t lone = 0;
  return morvane::ReferenceSet::build(views, positions, fold, &lone);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader r(data, size);
  const std::uint8_t options = r.byte();
  const std::uint8_t cut = r.byte();
  const auto measure = static_cast<Measure>(options % 3);
  const bool fold = (options >> 2) & 1;
  const bool normalized = ((options >> 3) & 1) && measure != Measure::jaro_winkler;
  const std::u32string alphabet = fuzz::decode_alphabet(r);

  std::vector<std::u32string> made;
  std::vector<NativeText> left, right;
  const std::size_t n_left = r.byte() % 40 + 1, n_right = r.byte() % 16 + 1;
  for (std::size_t k = 0; k < n_left + n_right && !r.done(); ++k) {
    const bool fresh = r.byte() % 2 != 0 || made.empty();
    std::u32string s = fresh ? fuzz::decode_text(r, alphabet, kMaxText)
                             : fuzz::decode_related(r, made[r.byte() % made.size()], alphabet, kMaxText);
    made.push_back(s);
    (k < n_left ? left : right).emplace_back(s);
  }
  if (left.empty() || right.empty()) return 0;

  morvane::Scoring s;
  s.measure = measure;
  s.normalized = normalized;
  if (cut != 255) {
    if (measure == Measure::jaro_winkler) s.min_similarity = cut / 254.0;
    else if (normalized) s.max_normalized = cut / 254.0;
    else s.max_distance = cut % 12;
  }
  std::vector<std::vector<double>> want(left.size(), std::vector<double>(right.size()));
  for (std::size_t i = 0; i < left.size(); ++i) {
    for (std::size_t j = 0; j < right.size(); ++j) want[i][j] = batch_score(measure, left[i], right[j], fold, normalized);
  }
  const morvane::ReferenceSet ls = make_set(left, fold), rs = make_set(right, fold);
  constexpr double kFill = -1.0, kNoMatch = -2.0;
  for (const morvane::SimdLevel level : morvane::supported_levels()) {
    s.level = level;
    std::vector<double> matrix(left.size() * right.size(), kFill);
    morvane::score_matrix(s, ls, 0, ls.size(), rs, {matrix.data(), morvane::Element::f64, right.size(), kNoMatch});
    for (std::size_t i = 0; i < left.size(); ++i) {
      for (std::size_t j = 0; j < right.size(); ++j) {
        const double w = morvane::passes(s, want[i][j]) ? want[i][j] : kNoMatch;
        const double got = matrix[i * right.size() + j];
        if (got != w && !(got == kFill && w == kNoMatch)) fail("matrix", i, j, got, w);
      }
    }
    // The best three of left item 0, against the order of the scores.
    const std::size_t q = ls.by_position()[0];
    const auto best = morvane::best_matches(s, {ls.text(q), ls.unlowered_length(q)}, rs, 3, 0, rs.size());
    std::vector<std::size_t> order;
    for (std::size_t j = 0; j < right.size(); ++j) {
      if (morvane::passes(s, want[0][j])) order.push_back(j);
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      if (want[0][a] != want[0][b]) return measure == Measure::jaro_winkler ? want[0][a] > want[0][b] : want[0][a] < want[0][b];
      return a < b;
    });
    order.resize(std::min<std::size_t>(order.size(), 3));
    if (best.size() != order.size()) fail("best count", 0, best.size(), 0, static_cast<double>(order.size()));
    for (std::size_t k = 0; k < order.size(); ++k) {
      if (best[k].position != order[k] || best[k].score != want[0][order[k]]) {
        fail("best", 0, order[k], best[k].score, want[0][order[k]]);
      }
    }
    if (cut == 255) continue;
    std::vector<std::tuple<std::uint64_t, std::uint64_t, double>> want_pairs;
    for (std::size_t i = 0; i < left.size(); ++i) {
      for (std::size_t j = 0; j < right.size(); ++j) {
        if (morvane::passes(s, want[i][j])) want_pairs.emplace_back(i, j, want[i][j]);
      }
    }
    const morvane::JoinIndex index(s, rs, ls);
    std::vector<morvane::JoinPair> pairs;
    index.join(ls, 0, ls.size(), false, pairs);
    if (pairs.size() != want_pairs.size()) fail("join count", 0, 0, static_cast<double>(pairs.size()),
                                                static_cast<double>(want_pairs.size()));
    for (std::size_t k = 0; k < pairs.size(); ++k) {
      const auto [i, j, v] = want_pairs[k];
      if (pairs[k].left != i || pairs[k].right != j || pairs[k].score != v) fail("join", i, j, pairs[k].score, v);
    }
  }
  return 0;
}
