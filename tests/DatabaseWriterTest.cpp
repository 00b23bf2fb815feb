// The tests' database writer on master files too large to write in a test:
// its pointers locate every position they can hold, and it refuses the
// positions they cannot, rather than write a pointer that reads as deleted.
#include <gtest/gtest.h>

#include <stdexcept>

#include "DatabaseWriter.hpp"
#include "masterfile/OnDiskLayout.hpp"

namespace {

TEST(DatabaseWriter, PointersLocateThePositionsTheyCanHoldAndNoOthers) {
    constexpr std::int64_t kMiB = 1024 * 1024;
    EXPECT_EQ(DatabaseWriter::PointerLimit(0), 512 * kMiB - 512);
    EXPECT_EQ(DatabaseWriter::PointerLimit(3), 4096 * kMiB - 512);
    struct Case {
        int shift;
        std::int64_t position;
        bool held;
    };
    const Case cases[] = {
        {0, 64, true},
        {0, 512 * kMiB - 1024 + 100, true},  // the last block a pointer without a shift names
        {0, 512 * kMiB - 512, false},
        {0, 600 * kMiB, false},
        {3, 512 * kMiB, true},  // past it with the FFI builds' shift
        {3, 4096 * kMiB - 1024 + 8, true},
        {3, 4096 * kMiB - 512, false},
        {9, 200 * 1024 * kMiB, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("shift " + std::to_string(c.shift) + ", byte " + std::to_string(c.position));
        if (!c.held) {
            EXPECT_THROW(DatabaseWriter::PointerTo(c.position, c.shift), std::length_error);
            continue;
        }
        const layout::PointerTarget target =
            layout::DecodePointer(DatabaseWriter::PointerTo(c.position, c.shift), c.shift);
        EXPECT_EQ(target.kind, layout::PointerKind::Record);
        EXPECT_EQ(target.position, c.position);
    }
}

}  // namespace
