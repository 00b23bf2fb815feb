// The tests' database writer on master files too large to write in a test:
// its pointers locate every position they can hold, and it refuses the
// positions they cannot, rather than write a pointer that reads as deleted.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "DatabaseWriter.hpp"
#include "masterfile/OnDiskLayout.hpp"

namespace {

TEST(DatabaseWriter, PointersLocateThePositionsTheyCanHoldAndNoOthers) {
    constexpr std::int64_t kMiB = 1024 * 1024;
    EXPECT_EQ(DatabaseWriter::PointerLimit(0), 512 * kMiB - 512);
    EXPECT_EQ(DatabaseWriter::PointerLimit(3), 4096 * kMiB - 512);
    // The last block a pointer without a shift names; past it with the FFI
    // builds' shift of 3, up to its last block; far past with 9.
    for (const auto& [shift, position] : {std::pair<int, std::int64_t>{0, 64},
                                          {0, 512 * kMiB - 1024 + 100},
                                          {3, 512 * kMiB},
                                          {3, 4096 * kMiB - 1024 + 8},
                                          {9, 200 * 1024 * kMiB}}) {
        const layout::PointerTarget target =
            layout::DecodePointer(DatabaseWriter::PointerTo(position, shift), shift);
        EXPECT_EQ(target.kind, layout::PointerKind::Record) << shift << ", " << position;
        EXPECT_EQ(target.position, position) << shift << ", " << position;
        const std::int64_t limit = DatabaseWriter::PointerLimit(shift);
        EXPECT_THROW(DatabaseWriter::PointerTo(limit, shift), std::length_error) << shift;
        EXPECT_THROW(DatabaseWriter::PointerTo(limit + 100 * kMiB, shift), std::length_error);
    }
}

}  // namespace
