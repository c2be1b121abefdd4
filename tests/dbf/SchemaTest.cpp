// ZDbfSchema: the descriptor block it writes, the tables it accepts or refuses when it reads one,
// and the ownership of its fields. Descriptor blocks go through an in-memory file.
#include <Quorvel32.h>
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "dbf/DbfTestUtil.h"

namespace {

using namespace qvtest;

// Descriptor bytes of a block, then the terminator.
Bytes Block(const std::vector<ZDbfField::DbfFldDesc>& descs, bool bTerminate = true) {
    Bytes b;
    for (const ZDbfField::DbfFldDesc& d : descs) {
        b.insert(b.end(), d.m_bytes, d.m_bytes + sizeof d.m_bytes);
    }
    if (bTerminate) {
        b.push_back(0x0D);
    }
    return b;
}

// The descriptor block a schema writes.
Bytes WrittenBlock(ZDbfSchema& schema, int* pnWrites = nullptr) {
    MemFile file;
    EXPECT_EQ(schema.WriteFieldDescs(&file), 1);
    if (pnWrites != nullptr) {
        *pnWrites = file.m_nWrites;
    }
    return file.m_bytes;
}

ZDbfField::DbfFldDesc DescAt(const Bytes& block, size_t i) {
    ZDbfField::DbfFldDesc d;
    std::memcpy(d.m_bytes, block.data() + 32 * i, 32);
    return d;
}

// ---- writing ---------------------------------------------------------------------------------

TEST(SchemaWriteTest, OffsetsAddUpWidthsInOneWrite) {
    TestSchema schema({{"FIRST", 'D', 8, 0}, {"SECOND", 'D', 8, 0}, {"THIRD", 'N', 5, 0}});
    schema.CreateFieldDesc();
    EXPECT_EQ(schema.GetNumOfFields(), 3);
    EXPECT_EQ(schema.GetRecordLength(), 22);

    int nWrites = 0;
    const Bytes block = WrittenBlock(schema, &nWrites);
    EXPECT_EQ(nWrites, 1);
    ASSERT_EQ(block.size(), 97u);
    EXPECT_EQ(block.back(), 0x0D);
    const DWORD offsets[] = {1, 9, 17};
    for (size_t i = 0; i < 3; ++i) {
        const ZDbfField::DbfFldDesc d = DescAt(block, i);
        EXPECT_EQ(d.GetColumnOffset(), offsets[i]) << "descriptor " << i;
        // Bytes 18..31 are reserved and zero.
        EXPECT_EQ(Bytes(d.m_bytes + 18, d.m_bytes + 32), Bytes(14, 0));
    }
    EXPECT_EQ(std::string(DescAt(block, 2).GetName()), "THIRD");
    EXPECT_EQ(DescAt(block, 2).GetType(), 'N');
    EXPECT_EQ(DescAt(block, 2).GetWidth(), 5);
}

TEST(SchemaWriteTest, EmptySlotsTakeNoDescriptor) {
    ZDbfSchema schema;
    schema.SetField(1, new DbfNumericField("A", 4, 0));
    schema.SetField(4, new DbfFloatField("B", 12, 3));
    schema.SetField(6, new DbfStringField("C", 7, 1));
    ASSERT_EQ(schema.GetSize(), 7);
    EXPECT_EQ(schema.GetField(0), nullptr);
    EXPECT_EQ(schema.GetField(7), nullptr);
    EXPECT_EQ(schema.GetField(-1), nullptr);
    EXPECT_EQ(schema.GetNumOfFields(), 3);
    EXPECT_EQ(schema.GetRecordLength(), 1 + 4 + 12 + 7);

    const Bytes block = WrittenBlock(schema);
    ASSERT_EQ(block.size(), 3 * 32 + 1u);
    EXPECT_EQ(std::string(DescAt(block, 0).GetName()), "A");
    EXPECT_EQ(std::string(DescAt(block, 1).GetName()), "B");
    EXPECT_EQ(std::string(DescAt(block, 2).GetName()), "C");
    EXPECT_EQ(DescAt(block, 0).GetColumnOffset(), 1u);
    EXPECT_EQ(DescAt(block, 1).GetColumnOffset(), 5u);
    EXPECT_EQ(DescAt(block, 2).GetColumnOffset(), 17u);
    EXPECT_EQ(DescAt(block, 1).GetDecimals(), 3);
    EXPECT_EQ(block.back(), 0x0D);
}

TEST(SchemaWriteTest, LongNamesKeepTenCharacters) {
    ZDbfSchema schema;
    schema.SetField(0, new DbfBooleanField("ACKNOWLEDGED_BY"));
    const Bytes block = WrittenBlock(schema);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 11),
              (Bytes{'A', 'C', 'K', 'N', 'O', 'W', 'L', 'E', 'D', 'G', 0}));
}

TEST(SchemaWriteTest, WriteFailurePassesOn) {
    TestSchema schema(GoldenColumns());
    schema.CreateFieldDesc();
    MemFile file;
    file.m_nFailWrite = 1;
    const auto err = CatchFileError([&] { schema.WriteFieldDescs(&file); });
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->m_cause, CFileException::diskFull);
}

// The record length is kept to 16 bits as the header stores it; the full sum is the bytes a
// row conversion walks, and what decides whether a table can be created.
TEST(SchemaWriteTest, RowBytesBeyondSixteenBits) {
    ZDbfSchema schema;
    for (int i = 0; i < 300; ++i) {
        schema.SetField(i, new DbfStringField("S", 255, 1));
    }
    EXPECT_EQ(schema.GetRowBytes(), 1u + 300 * 255);
    EXPECT_EQ(schema.GetRecordLength(), static_cast<WORD>(1 + 300 * 255));
}

// ---- reading ---------------------------------------------------------------------------------

struct TypeCase {
    unsigned char chType;
    const CRuntimeClass* pClass;  // null: refused
};

void PrintTo(const TypeCase& c, std::ostream* os) {
    *os << "type " << Quoted(std::string(1, static_cast<char>(c.chType)));
}

class SchemaTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(SchemaTypeTest, LetterNamesTheFieldClass) {
    const TypeCase& c = GetParam();
    ZDbfSchema schema;
    const ZDbfField::DbfFldDesc desc = MakeDesc("COL", static_cast<char>(c.chType), 13, 4);
    int index = 2;
    const int accepted = schema.ReadFieldDesc(index, &desc);
    EXPECT_EQ(index, 2);
    if (c.pClass == nullptr) {
        EXPECT_EQ(accepted, 0);
        EXPECT_EQ(schema.GetSize(), 0) << "a refused descriptor stores nothing";
        return;
    }
    ASSERT_EQ(accepted, 1);
    ASSERT_EQ(schema.GetSize(), 3);
    EXPECT_EQ(schema.GetField(0), nullptr);
    ZDbfField* f = schema.GetField(2);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(f->IsKindOf(c.pClass));
    EXPECT_TRUE(f->IsKindOf(RUNTIME_CLASS(ZDbfField)));
    EXPECT_STREQ(f->GetRuntimeClass()->m_lpszClassName, c.pClass->m_lpszClassName);
    // Width and decimal count as they stand, whatever the type.
    EXPECT_EQ(std::string(f->GetName()), "COL");
    EXPECT_EQ(f->GetType(), static_cast<char>(c.chType));
    EXPECT_EQ(f->GetWidth(), 13);
    EXPECT_EQ(f->GetDecimals(), 4);
    if (c.chType == 'C') {
        EXPECT_EQ(static_cast<DbfStringField*>(f)->m_bText, 1) << "text mode from a descriptor";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SchemaTypeTest,
                         ::testing::Values(TypeCase{'C', RUNTIME_CLASS(DbfStringField)},
                                           TypeCase{'D', RUNTIME_CLASS(DbfDateField)},
                                           TypeCase{'F', RUNTIME_CLASS(DbfFloatField)},
                                           TypeCase{'L', RUNTIME_CLASS(DbfBooleanField)},
                                           TypeCase{'N', RUNTIME_CLASS(DbfNumericField)},
                                           TypeCase{'M', nullptr}, TypeCase{'B', nullptr},
                                           TypeCase{'G', nullptr}, TypeCase{'c', nullptr},
                                           TypeCase{'n', nullptr}, TypeCase{0, nullptr},
                                           TypeCase{' ', nullptr}, TypeCase{0x80, nullptr},
                                           TypeCase{0xC3, nullptr}));

TEST(SchemaReadTest, TerminatorRightAfterHeader) {
    TestSchema schema(GoldenColumns());
    schema.CreateFieldDesc();
    MemFile file({0x0D});
    EXPECT_EQ(schema.ReadFieldDescs(&file), 1);
    EXPECT_EQ(schema.GetSize(), 0) << "fields held before are gone";
    EXPECT_EQ(schema.GetNumOfFields(), 0);
    EXPECT_EQ(schema.GetRecordLength(), 1);
}

TEST(SchemaReadTest, ReadsBackWhatItWrote) {
    TestSchema written({{"NAME", 'C', 10, 0},
                        {"DAY", 'D', 8, 0},
                        {"VALUE", 'F', 20, 10},
                        {"FLAG", 'L', 1, 0},
                        {"COUNT", 'N', 5, 0}});
    written.CreateFieldDesc();
    MemFile file(WrittenBlock(written));
    ZDbfSchema read;
    ASSERT_EQ(read.ReadFieldDescs(&file), 1);
    EXPECT_EQ(file.m_nPos, file.m_bytes.size()) << "the scan stops at the terminator";
    ASSERT_EQ(read.GetNumOfFields(), 5);
    for (int i = 0; i < 5; ++i) {
        const ZDbfField* a = written.GetField(i);
        const ZDbfField* b = read.GetField(i);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->GetName(), a->GetName());
        EXPECT_EQ(b->GetType(), a->GetType());
        EXPECT_EQ(b->GetWidth(), a->GetWidth());
        EXPECT_EQ(b->GetDecimals(), a->GetDecimals());
        EXPECT_EQ(b->GetRuntimeClass(), a->GetRuntimeClass());
    }
}

TEST(SchemaReadTest, MemoColumnRefusesTableKeepingEarlierFields) {
    MemFile file(Block({MakeDesc("A", 'C', 4), MakeDesc("B", 'N', 3), MakeDesc("MEMO", 'M', 10),
                        MakeDesc("D", 'D', 8)}));
    ZDbfSchema schema;
    EXPECT_EQ(schema.ReadFieldDescs(&file), 0);
    EXPECT_EQ(schema.GetNumOfFields(), 2);
    EXPECT_EQ(std::string(schema.GetField(1)->GetName()), "B");
}

// Only name, type letter, width and decimal count matter: the column offset and the reserved
// bytes may hold anything.
TEST(SchemaReadTest, OtherDescriptorBytesHaveNoEffect) {
    ZDbfField::DbfFldDesc noisy = MakeDesc("X", 'N', 7, 2);
    for (size_t i = 12; i < 16; ++i) {
        noisy.m_bytes[i] = 0xFF;
    }
    for (size_t i = 18; i < 32; ++i) {
        noisy.m_bytes[i] = static_cast<BYTE>(0xA0 + i);
    }
    noisy.m_bytes[5] = 'J';  // after the name's NUL: not part of the name
    MemFile file(Block({noisy}));
    ZDbfSchema schema;
    ASSERT_EQ(schema.ReadFieldDescs(&file), 1);
    const ZDbfField* f = schema.GetField(0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::string(f->GetName()), "X");
    EXPECT_EQ(f->GetWidth(), 7);
    EXPECT_EQ(f->GetDecimals(), 2);
}

struct TruncationCase {
    const char* pszWhere;
    size_t nKeep;  // bytes of the two-descriptor block (65 bytes) that remain
};

void PrintTo(const TruncationCase& c, std::ostream* os) {
    *os << c.pszWhere << " (" << c.nKeep << " bytes)";
}

class SchemaTruncationTest : public ::testing::TestWithParam<TruncationCase> {};

// A file that ends before the terminator is refused wherever it ends.
TEST_P(SchemaTruncationTest, EndBeforeTerminatorRefuses) {
    Bytes block = Block({MakeDesc("A", 'C', 4), MakeDesc("B", 'N', 3)});
    ASSERT_EQ(block.size(), 65u);
    block.resize(GetParam().nKeep);
    MemFile file(block);
    ZDbfSchema schema;
    EXPECT_EQ(schema.ReadFieldDescs(&file), 0) << GetParam().pszWhere;
}

INSTANTIATE_TEST_SUITE_P(Cases, SchemaTruncationTest,
                         ::testing::Values(TruncationCase{"no descriptor at all", 0},
                                           TruncationCase{"inside the first descriptor", 1},
                                           TruncationCase{"inside the first descriptor", 31},
                                           TruncationCase{"after one descriptor", 32},
                                           TruncationCase{"inside the second", 50},
                                           TruncationCase{"right before the terminator", 64}));

TEST(SchemaReadTest, FileErrorRefuses) {
    MemFile file(Block({MakeDesc("A", 'C', 4), MakeDesc("B", 'N', 3)}));
    file.m_nFailRead = 3;  // the first byte of the second descriptor
    ZDbfSchema schema;
    EXPECT_EQ(schema.ReadFieldDescs(&file), 0);
    EXPECT_EQ(schema.GetNumOfFields(), 1);
}

TEST(SchemaReadTest, MoreDescriptorsThanAHeaderCanHoldRefuse) {
    std::vector<ZDbfField::DbfFldDesc> descs(ZDbfSchema::kMaxFields, MakeDesc("L", 'L', 1));
    {
        MemFile file(Block(descs));
        ZDbfSchema schema;
        EXPECT_EQ(schema.ReadFieldDescs(&file), 1);
        EXPECT_EQ(schema.GetNumOfFields(), ZDbfSchema::kMaxFields);
    }
    descs.push_back(MakeDesc("L", 'L', 1));
    MemFile file(Block(descs));
    ZDbfSchema schema;
    EXPECT_EQ(schema.ReadFieldDescs(&file), 0);
}

// ---- ownership -------------------------------------------------------------------------------

// Filling a schema again replaces its fields; the replaced ones are deleted (the sanitizer build
// reports a leak otherwise).
TEST(SchemaOwnershipTest, SecondFillLeavesOnlyTheNewFields) {
    ZDbfSchema schema;
    MemFile three(Block({MakeDesc("A", 'C', 4), MakeDesc("B", 'N', 3), MakeDesc("C", 'D', 8)}));
    ASSERT_EQ(schema.ReadFieldDescs(&three), 1);
    ASSERT_EQ(schema.GetNumOfFields(), 3);
    MemFile one(Block({MakeDesc("Z", 'L', 1)}));
    ASSERT_EQ(schema.ReadFieldDescs(&one), 1);
    EXPECT_EQ(schema.GetSize(), 1);
    EXPECT_EQ(schema.GetNumOfFields(), 1);
    EXPECT_EQ(std::string(schema.GetField(0)->GetName()), "Z");
}

TEST(SchemaOwnershipTest, SetFieldDeletesWhatItReplaces) {
    ZDbfSchema schema;
    ZDbfField* first = new DbfNumericField("A", 4, 0);
    schema.SetField(0, first);
    schema.SetField(0, first);  // the same field again stays
    EXPECT_EQ(schema.GetField(0), first);
    EXPECT_EQ(schema.GetField(0)->GetWidth(), 4);
    schema.SetField(0, new DbfNumericField("B", 6, 0));
    EXPECT_EQ(schema.GetField(0)->GetWidth(), 6);
    EXPECT_EQ(schema.GetSize(), 1);
}

AFX_ALLOC_HOOK g_previousHook = nullptr;

BOOL RefuseObjects(size_t, BOOL bObject, LONG) {
    return bObject ? FALSE : TRUE;
}

// Installs an allocation hook for the guard's lifetime.
class ScopedAllocHook {
  public:
    explicit ScopedAllocHook(AFX_ALLOC_HOOK hook) { g_previousHook = AfxSetAllocHook(hook); }
    ~ScopedAllocHook() { AfxSetAllocHook(g_previousHook); }
    ScopedAllocHook(const ScopedAllocHook&) = delete;
    ScopedAllocHook& operator=(const ScopedAllocHook&) = delete;
};

TEST(SchemaOwnershipTest, OutOfMemoryRefusesTheDescriptor) {
    ZDbfSchema schema;
    const ZDbfField::DbfFldDesc desc = MakeDesc("A", 'N', 4);
    int index = 0;
    {
        ScopedAllocHook refuse(RefuseObjects);
        EXPECT_EQ(schema.ReadFieldDesc(index, &desc), 0);
    }
    EXPECT_EQ(schema.GetSize(), 0);
    EXPECT_EQ(schema.ReadFieldDesc(index, &desc), 1);
}

}  // namespace
