// The tables the benchmarks read: alarm and event logs of realistic rows, written through the
// library itself and kept in a temporary directory between runs, so that a run measures reading
// and not the making of its input.
#ifndef QUORVEL_BENCH_BENCHTABLES_H
#define QUORVEL_BENCH_BENCHTABLES_H

#include <Quorvel32.h>

#include <cstdint>
#include <string>

namespace qvbench {

// Rows of every full-scan benchmark: a busy plant's alarm log over about a month.
constexpr LONG kTableRows = 200000;

// splitmix64: the same sequence on every platform, so the same seed gives the same table.
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

  private:
    uint64_t m_state;
};

// Makes the rows of version-2 logs in time order: about 13 seconds apart from 1 March 2024, local
// time, so that a day holds some 6,600 rows, as the dates of a real log repeat.
class RowMaker {
  public:
    explicit RowMaker(uint64_t seed = 1);
    void Alarm(ALMEVENT& r);
    void Event(LOGEVENT2& r);

  private:
    void Advance();

    Random m_random;
    long long m_nOffset = 0;  // seconds since the first local midnight
    long long m_nDay = -1;    // day of the cached midnight
    TIME32 m_tMidnight = 0;
    LONG m_nEventId = 100000;
};

enum class TableKind { kAlarm, kEvent };

// Path of the cached version-2 table of the kind with nRows rows, made first when it is missing
// (or not of the expected size). Exits the process with a message when it cannot be made.
std::string CachedTable(TableKind kind, LONG nRows);

// Writes a new version-2 table of nRows rows at path through a write buffer of nWriteRecs rows
// (-1: the default block), flushing whenever it is full. False when the engine refuses.
bool WriteTable(const std::string& path, TableKind kind, LONG nRows, LONG nWriteRecs,
                uint64_t seed = 1);

}  // namespace qvbench

#endif  // QUORVEL_BENCH_BENCHTABLES_H
