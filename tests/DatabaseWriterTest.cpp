// The tests' database writer on master files too large to write in a test:
// its pointers locate every position they can hold, and it refuses the
// positions they cannot, rather than writing a pointer that reads as deleted.
#include <gtest/gtest.h>

#include <stdexcept>

#include "DatabaseWriter.hpp"
#include "masterfile/OnDiskLayout.hpp"

namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

TEST(DatabaseWriter, PointersLocateEveryPositionTheyCanHold) {
    struct Case {
        int shift;
        std::int64_t position;
    };
    const Case cases[] = {
        {0, 64},
        {0, 512 * kMiB - 1024 + 100},  // the last block a pointer without a shift names
        {3, 512 * kMiB},               // past it with the FFI builds' shift
        {3, 4096 * kMiB - 1024 + 8},
        {9, 200 * 1024 * kMiB},
    };
    for (const Case& c : cases) {
        const std::uint32_t pointer = DatabaseWriter::PointerTo(c.position, c.shift);
        const layout::PointerTarget target = layout::DecodePointer(pointer, c.shift);
        EXPECT_EQ(target.kind, layout::PointerKind::Record) << c.shift << ", " << c.position;
        EXPECT_EQ(target.position, c.position) << c.shift << ", " << c.position;
    }
}

TEST(DatabaseWriter, RefusesPositionsItsPointersCannotHold) {
    EXPECT_EQ(DatabaseWriter::PointerLimit(0), 512 * kMiB - 512);
    EXPECT_EQ(DatabaseWriter::PointerLimit(3), 4096 * kMiB - 512);
    for (const int shift : {0, 3}) {
        const std::int64_t limit = DatabaseWriter::PointerLimit(shift);
        EXPECT_NO_THROW(DatabaseWriter::PointerTo(limit - 512, shift));
        EXPECT_THROW(DatabaseWriter::PointerTo(limit, shift), std::length_error);
        EXPECT_THROW(DatabaseWriter::PointerTo(limit + 512 * kMiB, shift), std::length_error);
    }
    try {
        DatabaseWriter::PointerTo(600 * kMiB, 0);
        ADD_FAILURE() << "a position past 512 MiB was given a pointer without a shift";
    } catch (const std::length_error& error) {
        EXPECT_STREQ(error.what(),
                     "a record at byte 629145600 of the master file is past what pointers "
                     "shifted by 0 can locate (536870400 bytes); write it with a larger pointer "
                     "shift");
    }
}

}  // namespace
