// Textbook Jaro-Winkler over code-point sequences: the yardstick the three
// scan strategies and the batch are tested against. Same floating-point order
// as the core, so results compare bit for bit.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "edit_distance.hpp"  // reference::code_points

namespace reference {

// Similarity of already-prepared texts; a result below `score_cutoff` is 0.0,
// except for empty texts.
inline double jaro_winkler(const std::u32string& a, const std::u32string& b, double p = 0.1,
                           std::optional<double> score_cutoff = std::nullopt) {
  if (a.empty()) return b.empty() ? 1.0 : 0.0;
  if (b.empty()) return 0.0;

  const std::size_t longer = std::max(a.size(), b.size());
  const std::size_t w = longer / 2 >= 1 ? longer / 2 - 1 : 0;

  std::vector<bool> matched_a(a.size()), matched_b(b.size());
  std::size_t m = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const std::size_t lo = i >= w ? i - w : 0;
    const std::size_t hi = std::min(b.size() - 1, i + w);
    for (std::size_t j = lo; j <= hi; ++j) {
      if (!matched_b[j] && a[i] == b[j]) {
        matched_a[i] = matched_b[j] = true;
        ++m;
        break;
      }
    }
  }

  double sim = 0.0;
  if (m > 0) {
    std::u32string ordered_a, ordered_b;
    for (std::size_t i = 0; i < a.size(); ++i) if (matched_a[i]) ordered_a += a[i];
    for (std::size_t j = 0; j < b.size(); ++j) if (matched_b[j]) ordered_b += b[j];
    std::size_t differing = 0;
    for (std::size_t k = 0; k < m; ++k) differing += ordered_a[k] != ordered_b[k];
    const std::size_t t = differing / 2;

    std::size_t prefix = 0;
    while (prefix < std::min({std::size_t{4}, a.size(), b.size()}) && a[prefix] == b[prefix]) ++prefix;

    const double dm = static_cast<double>(m);
    const double jaro = ((static_cast<double>(m - t) / dm) +
                         (dm / static_cast<double>(b.size()) + dm / static_cast<double>(a.size()))) / 3.0;
    sim = jaro > 0.7 ? jaro + (1.0 - jaro) * (p * static_cast<double>(prefix)) : jaro;
  }
  if (score_cutoff && *score_cutoff > sim) return 0.0;
  return sim;
}

inline double jaro_winkler(std::string_view a, std::string_view b, double p = 0.1,
                           std::optional<double> score_cutoff = std::nullopt) {
  return jaro_winkler(code_points(a), code_points(b), p, score_cutoff);
}

}  // namespace reference
