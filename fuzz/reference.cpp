#include "reference.hpp"

#include "edit_distance.hpp"
#include "jaro_winkler.hpp"

namespace fuzz::plain {

std::size_t levenshtein(const std::u32string& a, const std::u32string& b) { return reference::levenshtein(a, b); }
std::size_t osa(const std::u32string& a, const std::u32string& b) { return reference::osa(a, b); }
double jaro_winkler(const std::u32string& a, const std::u32string& b, double p, std::optional<double> score_cutoff) {
  return reference::jaro_winkler(a, b, p, score_cutoff);
}

}  // namespace fuzz::plain
