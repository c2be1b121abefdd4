// DbfHeader: the 32-byte table header, held byte for byte as in the file.
//
//   offset 0      byte: bits 0-2 format version (3), bit 3 dBASE IV memo flag, bits 4-6 SQL
//                 table flags, bit 7 memo file flag
//   offset 1..3   year of the last update counted from 1900, month 1-12, day 1-31
//   offset 4      int32 LE number of records
//   offset 8      uint16 LE header length (32 x columns + 33 for tables written here)
//   offset 10     uint16 LE record length (1 + sum of the column widths)
//   offset 12..31 reserved: zero at creation, written back as read
#ifndef QUORVEL_DBF_DBFHEADER_H
#define QUORVEL_DBF_DBFHEADER_H

#include "ByteOrder.h"
#include "QvPlatform.h"

struct QV_API DbfHeader {
    static constexpr size_t kSize = 32;
    static constexpr size_t kVersionOffset = 0;
    static constexpr size_t kDateOffset = 1;
    static constexpr size_t kNumRecordsOffset = 4;
    static constexpr size_t kHeaderLengthOffset = 8;
    static constexpr size_t kRecordLengthOffset = 10;
    static constexpr BYTE kVersionDBase3 = 3;

    BYTE m_bytes[kSize];

    BYTE GetVersion() const { return m_bytes[kVersionOffset] & 0x07; }
    // Sets the version bits; the flag bits keep their values.
    void SetVersion(BYTE nVersion) {
        m_bytes[kVersionOffset] =
            static_cast<BYTE>((m_bytes[kVersionOffset] & ~0x07) | (nVersion & 0x07));
    }
    BYTE GetYear() const { return m_bytes[kDateOffset]; }  // years since 1900
    BYTE GetMonth() const { return m_bytes[kDateOffset + 1]; }
    BYTE GetDay() const { return m_bytes[kDateOffset + 2]; }
    void SetDate(BYTE nYearSince1900, BYTE nMonth, BYTE nDay) {
        m_bytes[kDateOffset] = nYearSince1900;
        m_bytes[kDateOffset + 1] = nMonth;
        m_bytes[kDateOffset + 2] = nDay;
    }
    LONG GetNumRecords() const {
        return static_cast<LONG>(qv::LoadLE32(m_bytes + kNumRecordsOffset));
    }
    void SetNumRecords(LONG n) {
        qv::StoreLE32(m_bytes + kNumRecordsOffset, static_cast<uint32_t>(n));
    }
    WORD GetHeaderLength() const { return qv::LoadLE16(m_bytes + kHeaderLengthOffset); }
    void SetHeaderLength(WORD n) { qv::StoreLE16(m_bytes + kHeaderLengthOffset, n); }
    WORD GetRecordLength() const { return qv::LoadLE16(m_bytes + kRecordLengthOffset); }
    void SetRecordLength(WORD n) { qv::StoreLE16(m_bytes + kRecordLengthOffset, n); }
};

static_assert(sizeof(DbfHeader) == DbfHeader::kSize, "the header image is the file's 32 bytes");

#endif  // QUORVEL_DBF_DBFHEADER_H
