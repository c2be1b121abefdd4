// Counts the heap allocations of the whole process: the benchmark programs replace the global
// operator new and delete (CountingAllocator.cpp), which the libraries' allocations reach as
// well, so a benchmark can report how many allocations a row costs.
#ifndef QUORVEL_BENCH_COUNTINGALLOCATOR_H
#define QUORVEL_BENCH_COUNTINGALLOCATOR_H

#include <cstdint>

namespace qvbench {

// Allocations made through any form of operator new since the program started.
uint64_t AllocationCount();

}  // namespace qvbench

#endif  // QUORVEL_BENCH_COUNTINGALLOCATOR_H
