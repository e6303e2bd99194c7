// The definitions the fuzzers hold the core to (tests/reference), compiled in
// a unit of their own without libFuzzer's coverage and without the
// sanitizers: they are the yardstick, not what is explored or checked, and
// their quadratic inner loops, traced and checked, would take the time of the
// kernels' paths (tools/fuzz.sh prints each fuzzer's executions per second).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace fuzz::plain {

std::size_t levenshtein(const std::u32string& a, const std::u32string& b);
std::size_t osa(const std::u32string& a, const std::u32string& b);
double jaro_winkler(const std::u32string& a, const std::u32string& b, double p,
                    std::optional<double> score_cutoff = std::nullopt);

}  // namespace fuzz::plain
