// Throughput of the library on a busy plant's logs: full scans of alarm and event tables the way a
// host reads them, random access, appends through write buffers of several sizes, and each column
// conversion on its own.
//
// Counters: "rows" (or "values") per second of wall time, and "allocs_per_row", the heap
// allocations a row costs once the table is open (CountingAllocator.cpp replaces operator new
// for the whole process, libraries included). Reading a row must not allocate: the scans report
// 0, and a non-zero count is a regression.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <Quorvel32.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchTables.h"
#include "CountingAllocator.h"

namespace {

using qvbench::CachedTable;
using qvbench::kTableRows;
using qvbench::TableKind;

constexpr UINT kHostReadFlags = CFile::modeRead | CFile::shareDenyNone;

// Window sizes of the reader: 1 is the one-row window CheckSchemaVer leaves; -1 asks OpenTable
// for the default block (as many rows as fit in 65482 bytes), as the quorvel tool reads.
constexpr LONG kOneRowWindow = 1;
constexpr LONG kBlockWindow = -1;

template <typename Reader>
struct ReaderTraits;

template <>
struct ReaderTraits<LgaDbfFile> {
    using Schema = LgaSchema;
    using Record = ALMEVENT;
    static constexpr TableKind kKind = TableKind::kAlarm;
    static Schema* NewSchema() { return new LgaSchema(LGA_SCHEMA_VER_1); }
    static bool IsVersion2(LgaDbfFile& r) { return r.GetSchemaVer() == LGA_SCHEMA_VER_2; }
};

template <>
struct ReaderTraits<LgeDbfFile> {
    using Schema = LgeSchema;
    using Record = LOGEVENT2;
    static constexpr TableKind kKind = TableKind::kEvent;
    static Schema* NewSchema() { return new LgeSchema(LGE_SCHEMA_VER_1); }
    static bool IsVersion2(LgeDbfFile& r) { return r.GetSchemaVer() == LGE_SCHEMA_VER_2; }
};

// A reader opened the way a host opens one: CheckSchemaVer, then (for a larger window) OpenTable
// with the wanted read capacity, then Open on the reader itself.
template <typename Reader>
std::unique_ptr<Reader> OpenReader(const std::string& path, LONG nWindow, benchmark::State& state) {
    std::unique_ptr<Reader> reader(new Reader(path.c_str(), ReaderTraits<Reader>::NewSchema()));
    reader->CheckSchemaVer();
    if (!ReaderTraits<Reader>::IsVersion2(*reader)) {
        state.SkipWithError("the benchmark table is not a version-2 log");
        return nullptr;
    }
    if (nWindow != kOneRowWindow &&
        !reader->OpenTable(nWindow, 0, ZDbfFile::kOpenRead, nullptr, nullptr)) {
        state.SkipWithError("OpenTable refused the benchmark table");
        return nullptr;
    }
    if (!reader->Open(path.c_str(), kHostReadFlags)) {
        state.SkipWithError("cannot open the benchmark table");
        return nullptr;
    }
    return reader;
}

void ReportRows(benchmark::State& state, double rows, double allocations) {
    state.counters["rows"] = benchmark::Counter(rows, benchmark::Counter::kIsRate);
    state.counters["allocs_per_row"] = benchmark::Counter(rows > 0 ? allocations / rows : 0);
}

// Every row of the table, in order, into one record.
template <typename Reader>
void BM_Scan(benchmark::State& state) {
    const std::string path = CachedTable(ReaderTraits<Reader>::kKind, kTableRows);
    const LONG nWindow = static_cast<LONG>(state.range(0));
    double rows = 0;
    double allocations = 0;
    for (auto _ : state) {
        std::unique_ptr<Reader> reader = OpenReader<Reader>(path, nWindow, state);
        if (!reader) {
            return;
        }
        typename ReaderTraits<Reader>::Record record;
        const uint64_t before = qvbench::AllocationCount();
        LONG n = 0;
        while (reader->ReadRecord(n, &record) == 1) {
            benchmark::DoNotOptimize(record);
            ++n;
        }
        allocations += static_cast<double>(qvbench::AllocationCount() - before);
        if (n != kTableRows) {
            state.SkipWithError("the scan did not read every row");
            return;
        }
        rows += n;
        reader->Close();
    }
    ReportRows(state, rows, allocations);
}

BENCHMARK_TEMPLATE(BM_Scan, LgaDbfFile)
    ->ArgName("window")
    ->Arg(kBlockWindow)
    ->Arg(kOneRowWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_TEMPLATE(BM_Scan, LgeDbfFile)
    ->ArgName("window")
    ->Arg(kBlockWindow)
    ->Arg(kOneRowWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Rows in random order: each read lands outside the window and fills it again.
void BM_RandomAlarmRead(benchmark::State& state) {
    const std::string path = CachedTable(TableKind::kAlarm, kTableRows);
    const LONG nWindow = static_cast<LONG>(state.range(0));
    std::vector<LONG> order(20000);
    qvbench::Random random(7);
    for (LONG& n : order) {
        n = static_cast<LONG>(random.Below(kTableRows));
    }
    std::unique_ptr<LgaDbfFile> reader = OpenReader<LgaDbfFile>(path, nWindow, state);
    if (!reader) {
        return;
    }
    ALMEVENT record;
    double rows = 0;
    double allocations = 0;
    for (auto _ : state) {
        const uint64_t before = qvbench::AllocationCount();
        for (LONG n : order) {
            if (reader->ReadRecord(n, &record) != 1) {
                state.SkipWithError("a row of the table did not read");
                return;
            }
            benchmark::DoNotOptimize(record);
        }
        allocations += static_cast<double>(qvbench::AllocationCount() - before);
        rows += static_cast<double>(order.size());
    }
    ReportRows(state, rows, allocations);
    reader->Close();
}
BENCHMARK(BM_RandomAlarmRead)
    ->ArgName("window")
    ->Arg(kBlockWindow)
    ->Arg(kOneRowWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A logging process appending the day's alarms: AppendRecord for each row and FlushWriteBuffer
// whenever the write buffer is full, into a new table. The records come from a pool made
// beforehand, so that making them is not measured.
void BM_AppendAlarms(benchmark::State& state) {
    const LONG nWriteRecs = static_cast<LONG>(state.range(0));
    std::vector<ALMEVENT> pool(4096);
    qvbench::RowMaker maker(3);
    for (ALMEVENT& r : pool) {
        maker.Alarm(r);
    }
    const std::string path =
        CachedTable(TableKind::kAlarm, 1) + ".append-" + std::to_string(getpid());
    double rows = 0;
    double allocations = 0;
    for (auto _ : state) {
        ZDbfFile file(path.c_str(), new LgaSchema(LGA_SCHEMA_VER_2));
        if (!file.CreateTable(0, nWriteRecs, CFile::modeCreate | CFile::modeReadWrite, nullptr,
                              nullptr)) {
            state.SkipWithError("CreateTable failed");
            return;
        }
        const uint64_t before = qvbench::AllocationCount();
        for (LONG i = 0; i < kTableRows; ++i) {
            if (file.IsWriteBufferFull()) {
                file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
            }
            file.AppendRecord(&pool[static_cast<size_t>(i) % pool.size()]);
        }
        file.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
        allocations += static_cast<double>(qvbench::AllocationCount() - before);
        if (file.GetNumOfRecords() != kTableRows) {
            state.SkipWithError("not every row was appended");
            return;
        }
        rows += kTableRows;
    }
    std::remove(path.c_str());
    ReportRows(state, rows, allocations);
}
BENCHMARK(BM_AppendAlarms)
    ->ArgName("write_buffer")
    ->Arg(1)
    ->Arg(64)
    ->Arg(-1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ---- one column at a time ----------------------------------------------------------------------

// The first rows of the cached alarm table as the file holds them.
struct AlarmRows {
    static constexpr size_t kRows = 8192;
    std::vector<unsigned char> bytes;
    size_t nRecLen = 0;
    // Column offsets in a row (after the deletion flag) of the version-2 current layout.
    std::vector<size_t> offsets;

    static const AlarmRows& Get() {
        static const AlarmRows rows = Load();
        return rows;
    }
    const unsigned char* Column(size_t row, int column) const {
        return bytes.data() + row * nRecLen + offsets[static_cast<size_t>(column)];
    }

  private:
    static AlarmRows Load() {
        AlarmRows r;
        LgaSchema schema(LGA_SCHEMA_VER_2);
        schema.CreateFieldDesc();
        size_t offset = 1;
        for (int i = 0; i < schema.GetSize(); ++i) {
            r.offsets.push_back(offset);
            offset += schema.GetField(i)->GetWidth();
        }
        r.nRecLen = offset;
        std::ifstream in(CachedTable(TableKind::kAlarm, kTableRows), std::ios::binary);
        in.seekg(32 * schema.GetSize() + 33);
        r.bytes.resize(kRows * r.nRecLen);
        in.read(reinterpret_cast<char*>(r.bytes.data()),
                static_cast<std::streamsize>(r.bytes.size()));
        return r;
    }
};

// Alarm columns: 0 Date, 2 Militime (N 5), 4 TagName (C 255), 5 TagValue (F 20.10). The alarm
// layout has no logical column: that one is made up of 'T' and 'F' bytes.
struct ColumnCase {
    int nColumn;
    ZDbfField* (*pfnNew)();
    size_t nValueSize;
};

ZDbfField* NewText() {
    return new DbfStringField("TagName", 255, 1);
}
ZDbfField* NewDate() {
    return new DbfDateField("Date");
}
ZDbfField* NewFloat() {
    return new DbfFloatField("TagValue", 20, 10);
}
ZDbfField* NewNumeric() {
    return new DbfNumericField("Militime", 5, 0);
}
ZDbfField* NewBoolean() {
    return new DbfBooleanField("Acked");
}

const ColumnCase kText = {4, NewText, 256};
const ColumnCase kDate = {0, NewDate, sizeof(TIME32)};
const ColumnCase kFloat = {5, NewFloat, sizeof(double)};
const ColumnCase kNumeric = {2, NewNumeric, sizeof(LONG)};
const ColumnCase kBoolean = {-1, NewBoolean, sizeof(int32_t)};

// The column's texts for every row, back to back.
std::vector<unsigned char> ColumnTexts(const ColumnCase& c, size_t nWidth) {
    const AlarmRows& rows = AlarmRows::Get();
    std::vector<unsigned char> texts(AlarmRows::kRows * nWidth);
    for (size_t i = 0; i < AlarmRows::kRows; ++i) {
        if (c.nColumn < 0) {
            texts[i * nWidth] = (i * 2654435761u) % 7 < 3 ? 'T' : 'F';
        } else {
            std::memcpy(&texts[i * nWidth], rows.Column(i, c.nColumn), nWidth);
        }
    }
    return texts;
}

void ReportValues(benchmark::State& state, double values, double allocations) {
    state.counters["values"] = benchmark::Counter(values, benchmark::Counter::kIsRate);
    state.counters["allocs_per_value"] = benchmark::Counter(values > 0 ? allocations / values : 0);
}

void BM_ColumnRead(benchmark::State& state, const ColumnCase& c) {
    std::unique_ptr<ZDbfField> field(c.pfnNew());
    const size_t width = field->GetWidth();
    std::vector<unsigned char> texts = ColumnTexts(c, width);
    std::vector<unsigned char> value(c.nValueSize);
    double values = 0;
    double allocations = 0;
    for (auto _ : state) {
        const uint64_t before = qvbench::AllocationCount();
        for (size_t i = 0; i < AlarmRows::kRows; ++i) {
            unsigned char* cursor = &texts[i * width];
            field->ReadFromBuffer(cursor, value.data());
            benchmark::DoNotOptimize(value.data());
        }
        allocations += static_cast<double>(qvbench::AllocationCount() - before);
        values += AlarmRows::kRows;
    }
    ReportValues(state, values, allocations);
}

void BM_ColumnWrite(benchmark::State& state, const ColumnCase& c) {
    std::unique_ptr<ZDbfField> field(c.pfnNew());
    const size_t width = field->GetWidth();
    std::vector<unsigned char> texts = ColumnTexts(c, width);
    // The values the column's texts read as, converted back in the loop.
    std::vector<unsigned char> values(AlarmRows::kRows * c.nValueSize);
    for (size_t i = 0; i < AlarmRows::kRows; ++i) {
        unsigned char* cursor = &texts[i * width];
        field->ReadFromBuffer(cursor, &values[i * c.nValueSize]);
    }
    std::vector<unsigned char> column(width);
    double count = 0;
    double allocations = 0;
    for (auto _ : state) {
        const uint64_t before = qvbench::AllocationCount();
        for (size_t i = 0; i < AlarmRows::kRows; ++i) {
            unsigned char* cursor = column.data();
            field->WriteToBuffer(cursor, &values[i * c.nValueSize]);
            benchmark::DoNotOptimize(column.data());
        }
        allocations += static_cast<double>(qvbench::AllocationCount() - before);
        count += AlarmRows::kRows;
    }
    ReportValues(state, count, allocations);
}

BENCHMARK_CAPTURE(BM_ColumnRead, text, kText);
BENCHMARK_CAPTURE(BM_ColumnWrite, text, kText);
BENCHMARK_CAPTURE(BM_ColumnRead, date, kDate);
BENCHMARK_CAPTURE(BM_ColumnWrite, date, kDate);
BENCHMARK_CAPTURE(BM_ColumnRead, float, kFloat);
BENCHMARK_CAPTURE(BM_ColumnWrite, float, kFloat);
BENCHMARK_CAPTURE(BM_ColumnRead, numeric, kNumeric);
BENCHMARK_CAPTURE(BM_ColumnWrite, numeric, kNumeric);
BENCHMARK_CAPTURE(BM_ColumnRead, boolean, kBoolean);
BENCHMARK_CAPTURE(BM_ColumnWrite, boolean, kBoolean);

}  // namespace

BENCHMARK_MAIN();
