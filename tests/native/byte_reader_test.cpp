#include <gtest/gtest.h>

#include "docengine/byte_reader.h"

using docengine::ByteReader;

TEST(ByteReader, ReadsLittleEndianAndFailsStickily) {
    const std::uint8_t ab[] = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF};
    ByteReader r(ab, sizeof ab);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U32(), 0x12345678u);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.U16(), 0) << "only one byte left";
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.U8(), 0) << "a failed reader stays failed";
}

TEST(ByteReader, SubReadersAreBoundedAndAdvanceTheParent) {
    const std::uint8_t ab[] = {1, 2, 3, 4, 5, 6};
    ByteReader r(ab, sizeof ab);
    ByteReader sub = r.Sub(4);
    EXPECT_EQ(r.Position(), 4u);
    EXPECT_EQ(sub.U32(), 0x04030201u);
    EXPECT_EQ(sub.U8(), 0);
    EXPECT_FALSE(sub.Ok());
    EXPECT_TRUE(r.Ok());
    ByteReader tooLong = r.Sub(3);
    EXPECT_FALSE(tooLong.Ok());
    EXPECT_FALSE(r.Ok());
}

TEST(ByteReader, WindowsAndCheckedSizesRejectOverflow) {
    const std::uint8_t ab[8] = {};
    ByteReader r(ab, sizeof ab);
    EXPECT_FALSE(r.At(4, SIZE_MAX).Ok());
    EXPECT_FALSE(r.At(9, 0).Ok());
    EXPECT_TRUE(r.At(8, 0).Ok());
    std::uint64_t v = 0;
    EXPECT_FALSE(docengine::CheckedMul(UINT64_MAX / 2, 3, &v));
    EXPECT_TRUE(docengine::CheckedMul(32767, 65535, &v));
    EXPECT_EQ(v, 32767u * 65535u);
    EXPECT_FALSE(docengine::CheckedAdd(UINT64_MAX, 1, &v));
}
