#include <Quorvel32.h>
#include <gtest/gtest.h>

TEST(Types, WidthsMatchTheRecords) {
    EXPECT_EQ(sizeof(BOOL), 4u);
    EXPECT_EQ(sizeof(LONG), 4u);
    EXPECT_EQ(sizeof(WORD), 2u);
    EXPECT_EQ(sizeof(TIME32), 4u);
}
