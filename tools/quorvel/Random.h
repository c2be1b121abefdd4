// The tool's random numbers: splitmix64, small, fast, and the same sequence on every platform,
// so that the same seed gives the same sample table (the benchmarks use it for theirs too).
#ifndef QUORVEL_TOOLS_RANDOM_H
#define QUORVEL_TOOLS_RANDOM_H

#include <cstddef>
#include <cstdint>

namespace qvtool {

class Random {
  public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 <= result < n (n > 0).
    uint64_t Below(uint64_t n) { return Next() % n; }
    // 0 <= result < 1.
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

  private:
    uint64_t m_state;
};

}  // namespace qvtool

#endif  // QUORVEL_TOOLS_RANDOM_H
