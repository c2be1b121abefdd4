// Any bytes as a table, through the generic schema: open with read buffers of 1, 7 and the
// default number of rows, fill blocks at the rows a reader could ask for, convert every held row
// column by column, and append two rows to an accepted table. Checks what the engine promises:
// no exception from a readable file, block counts bounded by the whole rows in the file, a
// negative row holding nothing, conversions inside their row and value, appended rows where
// the header's count puts them.
#include <Quorvel32.h>

#include <climits>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"

namespace {

using qvfuzz::Guarded;

// Big enough for any field's value: a text of width 255 and its NUL.
const size_t kValueBytes = 256;

const LONG kCapacities[] = {1, 7, -1};

// Writes every field from a zeroed value: empty texts, 0 numbers, the empty date.
class ZeroRowSchema : public ZDbfSchema {
  public:
    void WriteToBuffer(unsigned char*& cursor, void*) override {
        *cursor++ = ' ';
        unsigned char value[kValueBytes] = {};
        for (int i = 0; i < GetSize(); ++i) {
            if (ZDbfField* pField = GetField(i)) {
                pField->WriteToBuffer(cursor, value);
            }
        }
    }
};

LONG ExpectedCapacity(LONG nCapacity, WORD recLen) {
    if (nCapacity != -1) {
        return nCapacity;
    }
    const LONG n = ZDbfRecordBuffer::kDefaultBlockBytes / recLen;
    return n == 0 ? 1 : n;
}

void ConvertHeldRows(ZDbfFile& table) {
    ZDbfRecordBuffer* pBuf = table.GetReadBuffer();
    ZDbfSchema* pSchema = table.GetSchema();
    const WORD recLen = pBuf->GetRecordLength();
    Guarded value(kValueBytes);
    for (LONG i = 0; i < pBuf->GetCount(); ++i) {
        unsigned char* row = pBuf->GetRecordPtr(i);
        unsigned char* cursor = row + 1;
        for (int f = 0; f < pSchema->GetSize(); ++f) {
            ZDbfField* pField = pSchema->GetField(f);
            if (pField == nullptr) {
                continue;
            }
            unsigned char* before = cursor;
            pField->ReadFromBuffer(cursor, value.Data());
            QV_FUZZ_CHECK(cursor == before + pField->GetWidth());
            QV_FUZZ_CHECK(value.Intact());
        }
        QV_FUZZ_CHECK(cursor <= row + recLen);
    }
}

// The rows a host may ask for: the first ones, the last whole one, just past it, negative and
// far away ones (positions past 2^31 and past 2^32).
std::vector<LONG> RowsToAsk(long long nWholeRows, WORD recLen) {
    std::vector<LONG> rows = {0, 1, -1, INT_MIN, INT_MAX, 0x40000000};
    const long long last = nWholeRows - 1;
    if (last > 1 && last < INT_MAX) {
        rows.push_back(static_cast<LONG>(last));
    }
    if (nWholeRows < INT_MAX) {
        rows.push_back(static_cast<LONG>(nWholeRows));
    }
    rows.push_back(static_cast<LONG>(0x80000000LL / recLen + 1));
    return rows;
}

void ReadBlocks(const char* path, const uint8_t* data, long long size, LONG nCapacity) {
    ZDbfFile table(path, new ZDbfSchema);
    BOOL opened = FALSE;
    try {
        opened = table.OpenTable(nCapacity, 0, ZDbfFile::kOpenRead, nullptr, nullptr);
    } catch (CException* e) {
        e->Delete();
        QV_FUZZ_CHECK(!"OpenTable raised on a readable file");
    }
    const WORD recLen = table.GetRecordLength();
    if (!opened) {
        QV_FUZZ_CHECK(table.GetReadBuffer() == nullptr);
        QV_FUZZ_CHECK(table.GetWriteBuffer() == nullptr);
        return;
    }
    QV_FUZZ_CHECK(size >= 32);
    QV_FUZZ_CHECK(recLen != 0 && recLen >= table.GetSchema()->GetRowBytes());
    ZDbfRecordBuffer* pBuf = table.GetReadBuffer();
    QV_FUZZ_CHECK(pBuf != nullptr && table.GetWriteBuffer() == nullptr);
    QV_FUZZ_CHECK(pBuf->GetCapacity() == ExpectedCapacity(nCapacity, recLen));

    const long long hdrLen = table.GetHeaderLength();
    const long long nWholeRows =
        qvfuzz::RowsInBlock(data, size, hdrLen, recLen, LLONG_MAX / recLen);
    for (int pass = 0; pass < 2; ++pass) {
        // Pass 0 opens around each fill; pass 1 fills through a file the caller opened.
        if (pass == 1) {
            QV_FUZZ_CHECK(table.Open(path, ZDbfFile::kOpenRead));
        }
        for (LONG row : RowsToAsk(nWholeRows, recLen)) {
            BOOL filled = FALSE;
            try {
                filled = pass == 0 ? table.LoadReadBuffer(row, ZDbfFile::kOpenRead)
                                   : table.FillReadBuffer(row);
            } catch (CException* e) {
                e->Delete();
                QV_FUZZ_CHECK(!"a fill raised");
            }
            QV_FUZZ_CHECK(table.GetReadBuffer() == pBuf);
            // A negative row holds nothing: its bytes would lie before the record area.
            const long long pos = hdrLen + static_cast<long long>(row) * recLen;
            const long long expected =
                row < 0 ? 0 : qvfuzz::RowsInBlock(data, size, pos, recLen, pBuf->GetCapacity());
            QV_FUZZ_CHECK(filled);
            QV_FUZZ_CHECK(pBuf->GetCount() == expected);
            QV_FUZZ_CHECK(pBuf->GetFirst() == row);
            ConvertHeldRows(table);
        }
        if (pass == 1) {
            table.Close();
        }
    }
}

// Appends two rows to the accepted table and checks that they, the end byte and the raised
// count land where the header's count says. Only for small counts: a count near 2^31 with long
// rows would place them terabytes into the file.
void AppendRows(const char* path, const std::vector<uint8_t>& original) {
    ZDbfFile table(path, new ZeroRowSchema);
    WORD recLen = 0;
    {
        // The header decides the record length; look at it before the buffers are made.
        if (original.size() < 32) {
            return;
        }
        recLen = static_cast<WORD>(original[10] | (original[11] << 8));
        if (recLen == 0) {
            return;
        }
    }
    std::vector<unsigned char> slots(2 * static_cast<size_t>(recLen), 0);
    BOOL opened = FALSE;
    try {
        opened = table.OpenTable(0, 2, ZDbfFile::kOpenRead, nullptr, slots.data());
    } catch (CException* e) {
        e->Delete();
        QV_FUZZ_CHECK(!"OpenTable raised on a readable file");
    }
    const LONG count0 = table.GetNumOfRecords();
    if (!opened || count0 < -(1 << 20) || count0 > 4096) {
        return;
    }
    // A header length that points inside the header or the descriptors puts appended rows
    // there, and the header written after them overwrites them: no promise to check.
    const size_t nDescEnd = 32 + 32 * size_t{table.GetSchema()->GetNumOfFields()} + 1;
    if (table.GetHeaderLength() < nDescEnd) {
        return;
    }
    QV_FUZZ_CHECK(table.AppendRecord(nullptr));
    QV_FUZZ_CHECK(table.AppendRecord(nullptr));
    QV_FUZZ_CHECK(!table.AppendRecord(nullptr));
    BOOL flushed = FALSE;
    try {
        flushed = table.FlushWriteBuffer(ZDbfFile::kOpenReadWrite);
    } catch (CFileException* e) {
        e->Delete();
        // Nothing was written: the rows wait for the next flush.
        QV_FUZZ_CHECK(table.GetWriteBuffer()->GetCount() == 2);
        table.DeleteWriteBuffer();
        return;
    }
    QV_FUZZ_CHECK(flushed);
    QV_FUZZ_CHECK(table.GetWriteBuffer()->GetCount() == 0);
    QV_FUZZ_CHECK(table.GetNumOfRecords() == count0 + 2);

    FILE* f = std::fopen(path, "rb");
    QV_FUZZ_CHECK(f != nullptr);
    std::vector<unsigned char> now;
    unsigned char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        now.insert(now.end(), chunk, chunk + got);
    }
    std::fclose(f);

    const long long pos = table.GetHeaderLength() + static_cast<long long>(count0) * recLen;
    QV_FUZZ_CHECK(pos >= 0);
    QV_FUZZ_CHECK(now.size() >= static_cast<size_t>(pos) + 2u * recLen + 1);
    QV_FUZZ_CHECK(std::memcmp(now.data() + pos, slots.data(), 2u * recLen) == 0);
    QV_FUZZ_CHECK(now[pos + 2u * recLen] == ZDbfFile::kEofMarker);
    QV_FUZZ_CHECK(static_cast<LONG>(qv::LoadLE32(now.data() + 4)) == count0 + 2);
    // Version and flags, lengths and reserved bytes are written back as they were read.
    QV_FUZZ_CHECK(now[0] == original[0]);
    QV_FUZZ_CHECK(std::memcmp(now.data() + 8, original.data() + 8, 24) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* path = qvfuzz::InputFile::Get().Write(data, size);
    for (LONG nCapacity : kCapacities) {
        ReadBlocks(path, data, static_cast<long long>(size), nCapacity);
    }
    AppendRows(path, std::vector<uint8_t>(data, data + size));
    return 0;
}
