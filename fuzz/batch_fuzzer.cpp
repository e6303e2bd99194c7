// The three batches: at every instruction-set level this processor runs,
// through the drivers and through every kernel form directly, each result
// against the pair function on that candidate (and, for small batches, the
// pair functions against the definitions).
//
// Input: an options byte (bits 0-1 folding; bits 2-4 equal to 1: a batch
// large enough for the basic plane's index, rare since it repeats the
// candidates past batch::kIndexBasicPlaneFrom; bit 5 lone surrogates planted
// in wide candidates), a prefix-scale selector, the alphabet, the query, a
// candidate count and, per candidate, a byte choosing how it is made and
// stored (fuzz_input.hpp), then the places of the planted surrogates.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "batch_forms.hpp"
#include "fuzz_input.hpp"
#include "morvane/batch_query.hpp"
#include "morvane/lower.hpp"
#include "morvane/damerau_batch.hpp"
#include "morvane/damerau_bp.hpp"
#include "morvane/jaro_winkler.hpp"
#include "morvane/jaro_winkler_batch.hpp"
#include "morvane/levenshtein_batch.hpp"
#include "morvane/levenshtein_bp.hpp"
#include "morvane/simd.hpp"
#include "reference.hpp"

namespace {

using morvane::Text;
using morvane::batch::Form;
using morvane::batch::Measure;

// Queries up to three words (lane forms take up to 64 code points),
// candidates past the lane forms' longest text (128).
constexpr std::size_t kMaxQuery = 200;
constexpr std::size_t kMaxCandidate = 300;
// An input that is not let through to long texts (fuzz_input.hpp): still
// past one word for the query and past the lane forms for candidates.
constexpr std::size_t kShortQuery = 70;
constexpr std::size_t kShortCandidate = 130;
constexpr std::size_t kMaxCandidates = 48;
// Pair results are held to the definitions while this many cells suffice.
constexpr std::size_t kReferenceCells = 200000;

std::optional<double> prefix_scale(std::uint8_t sel) {
  if (sel < 240) return sel / 960.0;
  if (sel < 250) return std::nullopt;
  return sel % 2 ? 0.25 : 0.3;  // the last accepted one, and one rejected
}

bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }
// Distances have no bits to tell apart beyond their value.
bool same_bits(std::size_t a, std::size_t b) { return a == b; }

std::string show(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g (0x%016llx)", x, static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(x)));
  return buf;
}
std::string show(std::size_t x) { return std::to_string(x); }

// The candidates and the query as the input describes them.
struct Batch {
  std::u32string query;
  std::vector<std::u32string> texts;
  std::vector<reference::NativeText> stored;
  std::vector<Text> views;
};

Batch decode_batch(fuzz::Reader& r, const std::u32string& alphabet, bool long_texts) {
  const std::size_t max_candidate = long_texts ? kMaxCandidate : kShortCandidate;
  Batch b;
  b.query = fuzz::decode_text(r, alphabet, long_texts ? kMaxQuery : kShortQuery);
  const std::size_t count = r.byte() % (kMaxCandidates + 1);
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint8_t how = r.byte();
    std::u32string t;
    switch (how % 4) {
      case 0: t = fuzz::decode_text(r, alphabet, max_candidate); break;
      case 1: t = fuzz::decode_edits(r, b.query, alphabet, max_candidate); break;
      case 2: t = fuzz::decode_edits(r, b.texts.empty() ? b.query : b.texts.back(), alphabet, max_candidate); break;
      default: t = b.query; break;
    }
    b.texts.push_back(t);
    // Stored as narrow as it goes, or wider: batches group by width.
    const unsigned narrow = fuzz::narrowest_width(t);
    const unsigned wanted = how / 4 % 4 == 2 ? 2u : how / 4 % 4 == 3 ? 4u : narrow;
    b.stored.emplace_back(t, wanted > narrow ? wanted : narrow);
  }
  for (const reference::NativeText& t : b.stored) b.views.push_back(t.text());
  return b;
}

template <class T>
void expect_results(const char* what, morvane::SimdLevel level, const Batch& b, std::span<const T> got,
                    const std::vector<T>& want, const std::string& detail) {
  if (got.size() != want.size()) {
    fuzz::fail(what, detail + "\n" + std::to_string(got.size()) + " results for " + std::to_string(want.size()));
  }
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (!same_bits(got[i], want[i])) {
      const std::size_t k = b.texts.empty() ? 0 : i % b.texts.size();
      fuzz::fail(what, detail + "\nlevel " + std::string(morvane::to_string(level)) + " candidate " +
                           std::to_string(i) + " " + fuzz::describe(b.texts[k]) + " width " +
                           std::to_string(b.stored[k].width()) + "\nwant " + show(want[i]) + "\ngot  " + show(got[i]));
    }
  }
}

// Every lane form of a level (and the scalar form) over the candidates it
// takes, in groups of its lanes, against the pair results. The candidates
// go in as the drivers hand them over: with folding, those the masks cannot
// lowercase (and, for Jaro-Winkler, those past 64 code points) lowercased in
// full first.
template <class T>
void check_forms(Measure measure, const morvane::BatchQuery& q, const Batch& b, bool fold,
                 const std::vector<T>& want, const std::string& detail) {
  std::vector<std::vector<std::uint32_t>> lowered(b.views.size());
  std::vector<Text> texts = b.views;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const Text c = b.views[i];
    if (fold && (morvane::needs_full_lowering(c) || (measure == Measure::jaro_winkler && c.size() > morvane::jaro_winkler_detail::kBitParallelMax))) {
      lowered[i].resize(c.size() * morvane::kMaxLoweredLength + 1);
      texts[i] = Text::of_width(lowered[i].data(), morvane::lower_into(c, lowered[i].data()), c.width(), c.ascii());
    }
  }
  for (const Form& form : morvane::batch::forms()) {
    if (form.measure != measure || !morvane::supported(form.level) || q.pattern.size() > form.max_pattern) continue;
    std::vector<std::uint32_t> idx;
    for (std::size_t i = texts.size(); i-- > 0;) {
      if (texts[i].size() <= form.max_text) idx.push_back(static_cast<std::uint32_t>(i));
    }
    std::vector<T> got(texts.size());
    for (std::size_t k = 0; k < idx.size(); k += form.lanes) {
      form.score(q, form.level, texts.data(), idx.data() + k, std::min(form.lanes, idx.size() - k), got.data());
    }
    for (const std::uint32_t i : idx) {
      if (!same_bits(got[i], want[i])) {
        fuzz::fail(std::string("batch form ") + form.name,
                   detail + "\ncandidate " + std::to_string(i) + " " + fuzz::describe(b.texts[i]) + "\nwant " +
                       show(want[i]) + "\ngot  " + show(got[i]));
      }
    }
  }
}

// Plants a lone surrogate in some wide candidates; every batch at every
// level must name the first of them, also when the prefix scale is rejected.
void check_lone_surrogates(fuzz::Reader& r, Text query, const Batch& b, std::optional<bool> fold,
                           std::optional<double> p, const std::string& detail) {
  std::vector<reference::NativeText> planted;
  planted.reserve(b.texts.size());  // the views point into it
  std::vector<Text> views = b.views;
  std::size_t first = SIZE_MAX;
  for (std::size_t i = 0; i < b.texts.size(); ++i) {
    const std::uint8_t pick = r.byte();
    if (b.stored[i].width() == 1 || b.texts[i].empty() || pick % 3 != 0) continue;
    std::u32string t = b.texts[i];
    t[r.u16() % t.size()] = 0xD800 + pick * 8u;
    planted.emplace_back(t, b.stored[i].width());
    views[i] = planted.back().text();
    first = std::min(first, i);
  }
  if (first == SIZE_MAX) return;
  for (const morvane::SimdLevel level : morvane::supported_levels()) {
    const auto expect = [&](const char* what, std::size_t lone) {
      if (lone != first) {
        fuzz::fail(what, detail + "\nlevel " + std::string(morvane::to_string(level)) + " first lone surrogate in " +
                             std::to_string(first) + ", reported " + show(lone));
      }
    };
    std::size_t lone = 0;
    (void)morvane::levenshtein_batch(query, views, fold, level, &lone);
    expect("levenshtein_batch lone surrogate", lone);
    lone = 0;
    (void)morvane::damerau_batch(query, views, fold, level, &lone);
    expect("damerau_batch lone surrogate", lone);
    lone = 0;
    (void)morvane::jaro_winkler_batch(query, views, p, fold, level, &lone);
    expect("jaro_winkler_batch lone surrogate", lone);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Reader r(data, size);
  const std::uint8_t options = r.byte();
  const std::uint8_t p_selector = r.byte();
  const std::optional<double> p = prefix_scale(p_selector);
  const std::u32string alphabet = fuzz::decode_alphabet(r);
  const Batch b = decode_batch(r, alphabet, fuzz::long_texts(options, static_cast<std::uint8_t>(p_selector << 3)));
  const std::optional<bool> fold = fuzz::fold_option(options);
  const bool folding = fold.value_or(false);
  const bool large = (options >> 2 & 7) == 1;
  const std::string detail = "query " + fuzz::describe(b.query) + (folding ? "\nfolded" : "") +
                             (p ? "\np " + show(*p) : std::string());

  // What the pair functions give for each candidate.
  std::vector<std::size_t> lev, osa;
  std::vector<double> jw;
  const bool p_valid = morvane::validate_prefix_scale(p).has_value();
  std::size_t cells = 0;
  for (const std::u32string& t : b.texts) cells += (b.query.size() + 1) * (t.size() + 1);
  const std::u32string Q = folding ? fuzz::lower(b.query) : b.query;
  const reference::NativeText query(b.query);
  for (std::size_t i = 0; i < b.texts.size(); ++i) {
    const Text c = b.views[i];
    // An empty query gives the candidate's own code-point count, unfolded.
    lev.push_back(b.query.empty() ? c.size() : morvane::levenshtein_bp(query, c, std::nullopt, fold, std::nullopt).value());
    osa.push_back(b.query.empty() ? c.size() : morvane::damerau_bp(query, c, std::nullopt, fold, std::nullopt).value());
    if (p_valid) jw.push_back(morvane::jaro_winkler_similarity(query, c, p, std::nullopt, fold, std::nullopt).value());
    if (cells <= kReferenceCells && !b.query.empty()) {
      const std::u32string C = folding ? fuzz::lower(b.texts[i]) : b.texts[i];
      const std::string pair = "\ncandidate " + std::to_string(i) + " " + fuzz::describe(b.texts[i]);
      if (lev[i] != fuzz::plain::levenshtein(Q, C)) fuzz::fail("levenshtein_bp", detail + pair);
      if (osa[i] != fuzz::plain::osa(Q, C)) fuzz::fail("damerau_bp", detail + pair);
      if (p_valid && !same_bits(jw[i], fuzz::plain::jaro_winkler(Q, C, p.value_or(0.1)))) {
        fuzz::fail("jaro_winkler_similarity", detail + pair);
      }
    }
  }

  // The drivers at every level, and the default level; a large batch
  // repeats the candidates past the size that indexes the basic plane.
  std::vector<Text> views = b.views;
  std::vector<std::size_t> lev_all = lev, osa_all = osa;
  std::vector<double> jw_all = jw;
  if (large && !views.empty()) {
    while (views.size() < morvane::batch::kIndexBasicPlaneFrom + 1) {
      const std::size_t i = views.size() % b.views.size();
      views.push_back(b.views[i]);
      lev_all.push_back(lev[i]);
      osa_all.push_back(osa[i]);
      if (p_valid) jw_all.push_back(jw[i]);
    }
  }
  for (const morvane::SimdLevel level : morvane::supported_levels()) {
    std::size_t lone = 0;
    const auto l = morvane::levenshtein_batch(query, views, fold, level, &lone);
    expect_results<std::size_t>("levenshtein_batch", level, b, l, lev_all, detail);
    if (lone != SIZE_MAX) fuzz::fail("levenshtein_batch lone surrogate", detail + "\nreported " + show(lone));
    const auto o = morvane::damerau_batch(query, views, fold, level, &lone);
    expect_results<std::size_t>("damerau_batch", level, b, o, osa_all, detail);
    if (lone != SIZE_MAX) fuzz::fail("damerau_batch lone surrogate", detail + "\nreported " + show(lone));
    const auto j = morvane::jaro_winkler_batch(query, views, p, fold, level, &lone);
    if (j.has_value() != p_valid) fuzz::fail("jaro_winkler_batch prefix scale", detail);
    if (j) expect_results<double>("jaro_winkler_batch", level, b, *j, jw_all, detail);
    if (lone != SIZE_MAX) fuzz::fail("jaro_winkler_batch lone surrogate", detail + "\nreported " + show(lone));
  }
  expect_results<std::size_t>("levenshtein_batch", morvane::simd_level(), b,
                              morvane::levenshtein_batch(query, views, fold), lev_all, detail);
  expect_results<std::size_t>("damerau_batch", morvane::simd_level(), b,
                              morvane::damerau_batch(query, views, fold), osa_all, detail);
  if (p_valid) {
    expect_results<double>("jaro_winkler_batch", morvane::simd_level(), b,
                           morvane::jaro_winkler_batch(query, views, p, fold).value(), jw_all, detail);
  }

  // Every form directly, the query prepared as the batches prepare it.
  if (!b.query.empty()) {
    morvane::BatchQuery q(query, fold);
    if (large && q.masks.words() == 1) q.masks.index_basic_plane();
    check_forms<std::size_t>(Measure::levenshtein, q, b, folding, lev, detail);
    check_forms<std::size_t>(Measure::damerau, q, b, folding, osa, detail);
  }
  if (p_valid) {
    morvane::BatchQuery q = morvane::jaro_winkler_query(query, p, fold).value();
    if (large && q.masks.words() == 1) q.masks.index_basic_plane();
    morvane::JaroWinklerScratch scratch;
    for (std::size_t i = 0; i < b.views.size(); ++i) {
      if (!same_bits(morvane::jaro_winkler_similarity(q, b.views[i], scratch), jw[i]) ||
          !same_bits(morvane::jaro_winkler_similarity(q, b.views[i]), jw[i])) {
        fuzz::fail("jaro_winkler_similarity of a prepared query",
                   detail + "\ncandidate " + std::to_string(i) + " " + fuzz::describe(b.texts[i]) + "\nwant " +
                       show(jw[i]));
      }
    }
    if (!b.query.empty()) check_forms<double>(Measure::jaro_winkler, q, b, folding, jw, detail);
  }

  if (options & 0x20) check_lone_surrogates(r, query, b, fold, p, detail);
  return 0;
}
