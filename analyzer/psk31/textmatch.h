// Character error rate as the benchmarks and tests count it: the edit distance
// between the sent text and the stretch of the decoded text that matches it
// best, so text decoded before or after the transmission costs nothing.
#pragma once

#include <string_view>

namespace psk31 {

// Insertions, deletions and substitutions that turn the best-matching stretch
// of `decoded` into `sent`.
size_t characterErrors(std::string_view sent, std::string_view decoded);

} // namespace psk31
