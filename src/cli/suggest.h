// "Did you mean" for mistyped command names.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace gantrell {

// The edit distance (insertions, deletions, substitutions, and swaps of
// two neighbours) between two words.
inline std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i)
    d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j)
    d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The candidate nearest to `word`, or empty when none is near enough to be
// what was meant (at most two edits, and fewer than half the word).
inline std::string NearestName(std::string_view word, const std::vector<std::string>& candidates) {
  std::string best;
  std::size_t best_distance = 3;
  for (const std::string& candidate : candidates) {
    const std::size_t distance = EditDistance(word, candidate);
    if (distance < best_distance && distance * 2 < std::max<std::size_t>(candidate.size(), 2)) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

}  // namespace gantrell
