// The tables the benchmarks read: alarm and event logs of realistic rows, written through the
// library itself and kept in a temporary directory between runs, so that a run measures reading
// and not the making of its input.
#ifndef QUORVEL_BENCH_BENCHTABLES_H
#define QUORVEL_BENCH_BENCHTABLES_H

#include <Quorvel32.h>

#include <cstdint>
#include <string>

#include "../tools/quorvel/Random.h"

namespace qvbench {

// Rows of every full-scan benchmark: a busy plant's alarm log over about a month.
constexpr LONG kTableRows = 200000;

using qvtool::Random;

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
