// The alarm and event tables as the engine creates them from LgaSchema and LgeSchema: header
// lengths, record lengths and every descriptor (name, type, width, decimals, row offset), per
// layout and version. The offsets of the records themselves are pinned in LogRecords.h.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "logs/LogTestUtil.h"

namespace {

using qvlogtest::Columns;
using qvlogtest::kLegacy;

struct LayoutCase {
    const char* pszName;
    bool bAlarm;
    int nCtorVersion;   // given to the schema's constructor
    int nBuiltVersion;  // the layout CreateFieldDesc is expected to build
    WORD nRecordLength;
    WORD nRecordLengthLegacy;
    WORD nHeaderLength;
    // Row offsets of two columns that move with the layout.
    const char* pszFirst;
    DWORD nFirstOffset;
    DWORD nFirstOffsetLegacy;
    const char* pszSecond;
    DWORD nSecondOffset;
    DWORD nSecondOffsetLegacy;
};

const LayoutCase kLayoutCases[] = {
    {"AlarmV1", true, 1, 1, 609, 272, 513, "TagValue", 282, 67, "Dscription", 355, 140},
    {"AlarmV2", true, 2, 2, 651, 314, 577, "TagValue", 282, 67, "Dscription", 367, 152},
    // Versions the constructor stores unchecked build the first layout.
    {"AlarmCtor5", true, 5, 1, 609, 272, 513, "TagValue", 282, 67, "Dscription", 355, 140},
    {"AlarmCtor0", true, 0, 1, 609, 272, 513, "TagValue", 282, 67, "Dscription", 355, 140},
    {"EventV1", false, 1, 1, 348, 214, 353, "User", 85, 74, "Dscrptn", 93, 82},
    {"EventV2", false, 2, 2, 390, 256, 417, "User", 85, 74, "Dscrptn", 105, 94},
    {"EventCtor7", false, 7, 1, 348, 214, 353, "User", 85, 74, "Dscrptn", 93, 82},
};

class RecordLayoutTest : public ::testing::TestWithParam<LayoutCase> {
  protected:
    void SetUp() override { ASSERT_FALSE(m_dir.Path().empty()) << "mkdtemp failed"; }
    qvlogtest::TempDir m_dir{"qvlayout"};
};

DWORD Le32(const unsigned char* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

WORD Le16(const unsigned char* p) {
    return static_cast<WORD>(p[0] | p[1] << 8);
}

TEST_P(RecordLayoutTest, CreatedTableHasTheLayoutsHeaderAndDescriptors) {
    const LayoutCase& c = GetParam();
    const std::string path = m_dir.PathOf("t.dbf");
    ZDbfSchema* pSchema =
        c.bAlarm
            ? static_cast<ZDbfSchema*>(new LgaSchema(static_cast<LGA_SCHEMA_VER>(c.nCtorVersion)))
            : static_cast<ZDbfSchema*>(new LgeSchema(static_cast<LGE_SCHEMA_VER>(c.nCtorVersion)));
    {
        ZDbfFile file(path.c_str(), pSchema);
        ASSERT_TRUE(
            file.CreateTable(1, 1, CFile::modeCreate | CFile::modeReadWrite, nullptr, nullptr));
        // Building the fields does not touch the stored version.
        const int stored = c.bAlarm
                               ? static_cast<int>(static_cast<LgaSchema*>(pSchema)->GetSchemaVer())
                               : static_cast<int>(static_cast<LgeSchema*>(pSchema)->GetSchemaVer());
        EXPECT_EQ(stored, c.nCtorVersion);
    }

    const Columns cols = c.bAlarm ? qvlogtest::AlarmColumns(kLegacy, c.nBuiltVersion)
                                  : qvlogtest::EventColumns(kLegacy, c.nBuiltVersion);
    const WORD recordLength = kLegacy ? c.nRecordLengthLegacy : c.nRecordLength;
    const qvlogtest::Bytes bytes = qvlogtest::ReadFileBytes(path);
    ASSERT_GE(bytes.size(), size_t{c.nHeaderLength});
    EXPECT_EQ(bytes[0] & 0x07, 3);
    EXPECT_EQ(Le32(&bytes[4]), 0u) << "record count";
    EXPECT_EQ(Le16(&bytes[8]), c.nHeaderLength);
    EXPECT_EQ(Le16(&bytes[10]), recordLength);
    EXPECT_EQ(size_t{c.nHeaderLength}, 32 * cols.size() + 33);
    EXPECT_EQ(size_t{recordLength}, qvlogtest::RecordLength(cols));
    EXPECT_EQ(bytes[c.nHeaderLength - 1], 0x0D) << "descriptor terminator";

    DWORD firstOffset = 0;
    DWORD secondOffset = 0;
    for (size_t i = 0; i < cols.size(); ++i) {
        SCOPED_TRACE(cols[i].name);
        const unsigned char* desc = &bytes[32 + 32 * i];
        char name[12] = {};
        std::memcpy(name, desc, 11);
        EXPECT_EQ(std::string(name), cols[i].name);
        for (size_t k = cols[i].name.size(); k < 11; ++k) {
            EXPECT_EQ(desc[k], 0) << "name padding at " << k;
        }
        EXPECT_EQ(static_cast<char>(desc[11]), cols[i].type);
        EXPECT_EQ(Le32(desc + 12), qvlogtest::ColumnOffset(cols, i));
        EXPECT_EQ(desc[16], cols[i].width);
        EXPECT_EQ(desc[17], cols[i].decimals);
        if (cols[i].name == c.pszFirst) {
            firstOffset = Le32(desc + 12);
        }
        if (cols[i].name == c.pszSecond) {
            secondOffset = Le32(desc + 12);
        }
    }
    EXPECT_EQ(firstOffset, kLegacy ? c.nFirstOffsetLegacy : c.nFirstOffset) << c.pszFirst;
    EXPECT_EQ(secondOffset, kLegacy ? c.nSecondOffsetLegacy : c.nSecondOffset) << c.pszSecond;
}

INSTANTIATE_TEST_SUITE_P(Tables, RecordLayoutTest, ::testing::ValuesIn(kLayoutCases),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                             return std::string(info.param.pszName);
                         });

}  // namespace
