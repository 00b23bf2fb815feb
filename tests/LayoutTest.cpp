#include <gtest/gtest.h>

#include <limits>

#include "masterfile/OnDiskLayout.hpp"

using namespace layout;

TEST(PointerPosition, SkipsEveryBlocksOwnFirstFourBytes) {
    EXPECT_EQ(PointerPosition(1), 4);
    EXPECT_EQ(PointerPosition(127), 508);
    EXPECT_EQ(PointerPosition(128), 516);
    EXPECT_EQ(PointerPosition(254), 1020);
    EXPECT_EQ(PointerPosition(255), 1028);
}

TEST(PointerPosition, LargestMfnDoesNotOverflow) {
    const std::int32_t mfn = std::numeric_limits<std::int32_t>::max();
    const std::int64_t index = static_cast<std::int64_t>(mfn) - 1;
    EXPECT_EQ(PointerPosition(mfn), 512 * (index / 127) + 4 + 4 * (index % 127));
    EXPECT_GT(PointerPosition(mfn), std::numeric_limits<std::int32_t>::max());
}

TEST(PointerSlotCount, CountsOnlySlotsWhollyInsideTheFile) {
    EXPECT_EQ(PointerSlotCount(0), 0);
    EXPECT_EQ(PointerSlotCount(4), 0);
    EXPECT_EQ(PointerSlotCount(7), 0);
    EXPECT_EQ(PointerSlotCount(8), 1);
    EXPECT_EQ(PointerSlotCount(511), 126);
    EXPECT_EQ(PointerSlotCount(512), 127);
    EXPECT_EQ(PointerSlotCount(515), 127);
    EXPECT_EQ(PointerSlotCount(520), 128);
    EXPECT_EQ(PointerSlotCount(1024), 254);
}

TEST(PointerSlotCount, AgreesWithPointerPosition) {
    for (std::int64_t size = 0; size <= 3 * 512; ++size) {
        const std::int64_t count = PointerSlotCount(size);
        if (count > 0) {
            EXPECT_LE(PointerPosition(static_cast<std::int32_t>(count)) + 4, size) << size;
        }
        EXPECT_GT(PointerPosition(static_cast<std::int32_t>(count + 1)) + 4, size) << size;
    }
}

TEST(RecordPosition, DecodesBlockAndOffset) {
    EXPECT_EQ(RecordPosition(2 * 2048 + 1024 + 64), 576);
    EXPECT_EQ(RecordPosition(1 * 2048), 0);
    EXPECT_EQ(RecordPosition(1 * 2048 + 511), 511);
    EXPECT_EQ(RecordPosition((0xFFFFFu << 11) | 0x1FF), (0xFFFFFll - 1) * 512 + 511);
}

TEST(RecordPosition, IgnoresBitsNineAndTen) {
    const std::uint32_t plain = 7 * 2048 + 100;
    EXPECT_EQ(RecordPosition(plain | 512), RecordPosition(plain));
    EXPECT_EQ(RecordPosition(plain | 1024), RecordPosition(plain));
    EXPECT_EQ(RecordPosition(plain | 1536), RecordPosition(plain));
}

TEST(RecordPosition, PointerThatStoresNoRecord) {
    EXPECT_FALSE(RecordPosition(0));
    EXPECT_FALSE(RecordPosition(511));                   // block 0
    EXPECT_FALSE(RecordPosition(1024));                  // block 0, flag only
    EXPECT_FALSE(RecordPosition(0u - (2 * 2048 + 64)));  // deleted: negated
    EXPECT_FALSE(RecordPosition(0x80000000u | 2048));
}

// With shift s the block is p / (2048 >> s) and the offset (p AND (511 >> s)) << s.
TEST(RecordPosition, ShiftedPointers) {
    struct Case {
        int shift;
        std::uint32_t pointer;
        std::optional<std::int64_t> position;
    };
    const Case cases[] = {
        {3, 0x188, 64},                      // block 1, offset 64
        {3, 0x188 | 0x80 | 0x40, 64},        // bits 1024 >> 3 and 512 >> 3 carry none
        {3, (5u << 8) | 63, 4 * 512 + 504},  // the last offset in block 5
        {1, (2u << 10) | 255, 512 + 510},
        {9, (3u << 2) | 1, 2 * 512},      // bits 0 and 1 are the flags; no offset
        {11, 7, 6 * 512},                 // every bit is the block
        {3, 0xFF, std::nullopt},          // block 0
        {11, 0x80000007u, std::nullopt},  // deleted
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecordPosition(c.pointer, c.shift), c.position) << c.shift << " " << c.pointer;
    }
}

TEST(Decode, LittleEndianSigned) {
    const unsigned char bytes[] = {0x34, 0x12, 0xFE, 0xFF, 0x00, 0x80};
    EXPECT_EQ(DecodeInt16(bytes), 0x1234);
    EXPECT_EQ(DecodeInt16(bytes + 2), -2);
    EXPECT_EQ(DecodeInt16(bytes + 4), -32768);
    EXPECT_EQ(DecodeInt32(bytes), static_cast<std::int32_t>(0xFFFE1234u));
    EXPECT_EQ(DecodeUint32(bytes), 0xFFFE1234u);
}
