// Any bytes as an alarm log and as an event log, through the readers a host uses and through
// the version probes. Checks: no exception leaves a reader or a probe; ReadRecord converts
// exactly the whole rows the file holds and never writes outside the record; each probe agrees
// with a reader that took the same steps. Built once per layout.
#include <Quorvel32.h>

#include <climits>

#include "FuzzSupport.h"

namespace {

// A record with guard bytes on both sides, as a host would lay it out among other data.
template <typename Record>
struct GuardedRecord {
    qvfuzz::Guarded area{sizeof(Record)};
    Record* Get() { return reinterpret_cast<Record*>(area.Data()); }
};

template <typename Reader, typename Schema, typename Record, typename Version>
Version ReadAsLog(const char* path, const uint8_t* data, long long size,
                  Version (*probe)(CString)) {
    Reader reader(path, new Schema(static_cast<Version>(1)));
    GuardedRecord<Record> record;
    try {
        reader.CheckSchemaVer();
        const Version found = reader.GetSchemaVer();
        QV_FUZZ_CHECK(found >= 0 && found <= 2);
        QV_FUZZ_CHECK(probe(CString(path)) == found);

        // Before the host opens the reader's file no row can be read.
        QV_FUZZ_CHECK(reader.ReadRecord(0, record.Get()) == 0);
        QV_FUZZ_CHECK(reader.ReadRecord(0, nullptr) == 0);
        QV_FUZZ_CHECK(record.area.Intact());
        if (!reader.Open(path, CFile::modeRead | CFile::shareDenyNone)) {
            return found;
        }
        const bool haveBuffer = reader.GetReadBuffer() != nullptr;
        const long long hdrLen = reader.GetHeaderLength();
        const unsigned recLen = reader.GetRecordLength();
        const long long nWholeRows =
            recLen == 0 ? 0 : qvfuzz::RowsInBlock(data, size, hdrLen, recLen, LLONG_MAX / recLen);
        const LONG rows[] = {0,
                             1,
                             2,
                             3,
                             7,
                             -1,
                             INT_MIN,
                             INT_MAX,
                             static_cast<LONG>(nWholeRows > INT_MAX ? INT_MAX : nWholeRows),
                             static_cast<LONG>(nWholeRows > 1 ? nWholeRows - 1 : 0)};
        // The version the table showed, then every other one a host could set.
        const Version versions[] = {found, static_cast<Version>(1), static_cast<Version>(2),
                                    static_cast<Version>(0)};
        for (Version ver : versions) {
            reader.SetSchemaVer(ver);
            for (LONG row : rows) {
                const int expected = haveBuffer && row >= 0 && row < nWholeRows ? 1 : 0;
                QV_FUZZ_CHECK(reader.ReadRecord(row, record.Get()) == expected);
                QV_FUZZ_CHECK(record.area.Intact());
            }
        }
        reader.Close();
        return found;
    } catch (CException* e) {
        e->Delete();
        QV_FUZZ_CHECK(!"an exception left a log reader");
    }
    return static_cast<Version>(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = qvfuzz::InputFile::Get().Write(data, size);
    const long long n = static_cast<long long>(size);
    const LGA_SCHEMA_VER alarm = ReadAsLog<LgaDbfFile, LgaSchema, ALMEVENT, LGA_SCHEMA_VER>(
        path, data, n, &LgaSchemaVersion);
    const LGE_SCHEMA_VER event = ReadAsLog<LgeDbfFile, LgeSchema, LOGEVENT2, LGE_SCHEMA_VER>(
        path, data, n, &LgeSchemaVersion);
    // The first column of an event table is numeric, that of an alarm table a date: no table
    // is both.
    QV_FUZZ_CHECK(alarm == LGA_SCHEMA_VER_NONE || event == LGE_SCHEMA_VER_NONE);
    return 0;
}
