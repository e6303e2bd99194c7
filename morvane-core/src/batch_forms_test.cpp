// Every kernel form this processor can run against the scalar forms (which
// the other tests hold to the plain definitions), and every level's batches
// against the scalar level's.
#include "batch_forms.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>
#include <vector>

#include "edit_distance.hpp"
#include "jaro_winkler.hpp"  // reference::jaro_winkler
#include "morvane/jaro_winkler.hpp"
#include "morvane/damerau_batch.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "native_text.hpp"

namespace morvane::batch {
namespace {

// Letters of every storage width, with cases and repeats; pools mixing few
// letters make matches, transpositions and shared affixes frequent.
const std::u32string kAscii = U"abcAB";
const std::u32string kMixed = U"ab\u00e9\u00c9\u0436\u0416\u65e5\U0001F600k\u212a";

std::u32string random_points(std::mt19937_64& rng, const std::u32string& pool, std::size_t n) {
  std::u32string s(n, U'a');
  for (char32_t& c : s) c = pool[rng() % pool.size()];
  return s;
}

// `query` with a few random edits, or an unrelated text, of up to max_len.
std::u32string candidate(std::mt19937_64& rng, const std::u32string& query, const std::u32string& pool,
                         std::size_t max_len) {
  if (rng() % 3 != 0) return random_points(rng, pool, rng() % (max_len + 1));
  std::u32string s = query;
  for (int e = static_cast<int>(rng() % 4); e > 0 && !s.empty(); --e) {
    const std::size_t at = rng() % s.size();
    switch (rng() % 4) {
      case 0: s.erase(at, 1); break;
      case 1: s.insert(at, 1, pool[rng() % pool.size()]); break;
      case 2: s[at] = pool[rng() % pool.size()]; break;
      default: if (at + 1 < s.size()) std::swap(s[at], s[at + 1]); break;
    }
  }
  return s.substr(0, max_len);
}

// Candidates of every width: some stored wider than they need.
std::vector<reference::NativeText> store(std::mt19937_64& rng, const std::vector<std::u32string>& texts) {
  std::vector<reference::NativeText> out;
  for (const std::u32string& t : texts) out.emplace_back(t, rng() % 4 == 0 ? 4u : 0u);
  return out;
}

TEST(BatchForms, EachRunnableFormEqualsTheScalarForm) {
  std::mt19937_64 rng(0xf0f0);  // fixed random state
  for (const Form& form : forms()) {
    if (form.lane_bits == 0 || !supported(form.level)) continue;
    const Form& scalar = choose(form.measure, SimdLevel::scalar, form.max_pattern);
    for (const std::size_t m : {std::size_t{1}, form.max_pattern / 2 + 1, form.max_pattern}) {
      for (const bool fold : {false, true}) {
        const std::u32string& pool = rng() % 2 ? kAscii : kMixed;
        const std::u32string query = random_points(rng, pool, m);
        // The pools hold no code point whose lowercase form grows.
        const BatchQuery q(reference::NativeText(query, 4), fold, fold ? 0.15 : 0.1);
        ASSERT_EQ(q.pattern.size(), m);
        std::vector<std::u32string> texts;
        // Partly filled groups too: count is not a multiple of the lanes.
        // (Longer Jaro-Winkler texts reach the forms lowercased in full.)
        const std::size_t count = 3 * form.lanes + 5;
        const std::size_t longest =
            fold && form.measure == Measure::jaro_winkler ? jaro_winkler_detail::kBitParallelMax : form.max_text;
        for (std::size_t k = 0; k < count; ++k) texts.push_back(candidate(rng, query, pool, longest));
        const std::vector<reference::NativeText> stored = store(rng, texts);
        std::vector<Text> views(stored.begin(), stored.end());
        std::vector<std::uint32_t> idx;
        std::vector<std::size_t> got(count), want(count);
        std::vector<double> got_jw(count), want_jw(count);
        void* const got_out = form.measure == Measure::jaro_winkler ? static_cast<void*>(got_jw.data()) : got.data();
        void* const want_out = form.measure == Measure::jaro_winkler ? static_cast<void*>(want_jw.data()) : want.data();
        for (std::size_t k = 0; k < count; k += form.lanes) {
          idx.clear();
          // Out of order and with gaps: a group takes any indexes.
          for (std::size_t l = k; l < std::min(count, k + form.lanes); ++l) idx.push_back(static_cast<std::uint32_t>(count - 1 - l));
          form.score(q, form.level, views.data(), idx.data(), idx.size(), got_out);
        }
        for (std::uint32_t k = 0; k < count; ++k) scalar.score(q, SimdLevel::scalar, views.data(), &k, 1, want_out);
        for (std::size_t k = 0; k < count; ++k) {
          ASSERT_EQ(got[k], want[k]) << form.name << " m " << m << " candidate " << k;
          ASSERT_EQ(std::bit_cast<std::uint64_t>(got_jw[k]), std::bit_cast<std::uint64_t>(want_jw[k]))
              << form.name << " m " << m << " candidate " << k << ": " << got_jw[k] << " vs " << want_jw[k];
        }
      }
    }
  }
}

// The batches at every supported level, through their drivers: queries of
// every length from 1 to 70, candidates from 0 to 200 code points, folding
// on and off, against the scalar level and, for a sample, the definitions.
TEST(BatchForms, EveryLevelGivesTheScalarLevelsResults) {
  std::mt19937_64 rng(0xf0f1);  // fixed random state
  for (std::size_t m = 1; m <= 70; ++m) {
    const std::u32string& pool = m % 2 ? kAscii : kMixed;
    const std::u32string query = random_points(rng, pool, m);
    std::vector<std::u32string> texts;
    // Some batches large enough for the query's index of the basic plane.
    const std::size_t count = m % 8 == 0 ? kIndexBasicPlaneFrom + 50 : 150;
    for (std::size_t k = 0; k < count; ++k) texts.push_back(candidate(rng, query, pool, 200));
    texts.push_back(U"\u0130\u03a3" + query);  // lowercased in full when folding
    const reference::NativeText q(query);
    const std::vector<reference::NativeText> stored = store(rng, texts);
    const std::vector<Text> views(stored.begin(), stored.end());
    for (const bool fold : {false, true}) {
      const auto lev = levenshtein_batch(q, views, fold, SimdLevel::scalar);
      const auto osa = damerau_batch(q, views, fold, SimdLevel::scalar);
      const auto jw = jaro_winkler_batch(q, views, 0.2, fold, SimdLevel::scalar).value();
      if (!fold) {
        for (std::size_t k = 0; k < texts.size(); k += 13) {
          ASSERT_EQ(lev[k], reference::levenshtein(query, texts[k]));
          ASSERT_EQ(osa[k], reference::osa(query, texts[k]));
          ASSERT_EQ(jw[k], reference::jaro_winkler(query, texts[k], 0.2));
        }
      }
      for (const SimdLevel level : supported_levels()) {
        ASSERT_EQ(levenshtein_batch(q, views, fold, level), lev) << to_string(level) << " m " << m;
        ASSERT_EQ(damerau_batch(q, views, fold, level), osa) << to_string(level) << " m " << m;
        ASSERT_EQ(jaro_winkler_batch(q, views, 0.2, fold, level).value(), jw) << to_string(level) << " m " << m;
      }
    }
  }
}

}  // namespace
}  // namespace morvane::batch
