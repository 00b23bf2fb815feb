// One record of a database of thousands, damaged in one way after another:
// every other record's export stays exactly what it was, and every message
// is about the damaged record. Among those damaged are 18-byte records of 20
// fields with STATUS 0 and of 26 with STATUS 1, whose leaders also read as
// 20-byte ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "DatabaseWriter.hpp"
#include "ExportCheck.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

// Where a leader's numbers and an entry's LEN lie, in each leader's layout.
struct Offsets {
    int base, nvf, leaderSize, entrySize, len, width;
};
Offsets OffsetsOf(LeaderLayout leader) {
    switch (leader) {
        case LeaderLayout::Standard:
            return {12, 14, 18, 6, 4, 2};
        case LeaderLayout::Aligned:
            return {14, 16, 20, 6, 4, 2};
        case LeaderLayout::Ffi:
            return {14, 18, 22, 10, 6, 4};
        case LeaderLayout::FfiAligned:
            break;
    }
    return {16, 20, 24, 12, 8, 4};
}

// Adds `delta` to the little-endian number of `width` bytes at `at`.
void Add(std::string& bytes, std::size_t at, int width, std::int64_t delta) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    value += static_cast<std::uint64_t>(delta);
    for (int i = 0; i < width; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

// The export without the block of `mfn`, "[RECORD mfn]" to the next header.
std::string Without(const std::string& output, std::int32_t mfn) {
    const std::size_t start = output.find("[RECORD " + std::to_string(mfn) + "]\n");
    const std::size_t end = output.find("[RECORD " + std::to_string(mfn + 1) + "]\n", start);
    return output.substr(0, start) + (end == std::string::npos ? "" : output.substr(end));
}

TEST(DifferentialDamageTest, OtherRecordsOfThousandsAreUnchanged) {
    constexpr std::int32_t kRecords = 2000;
    constexpr std::int32_t kTwenty = 701;
    constexpr std::int32_t kTwentySix = 1401;
    // Standard stands for 18-byte leaders at odd MFNs and 20-byte ones at
    // even MFNs.
    for (const LeaderLayout layout : {LeaderLayout::Standard, LeaderLayout::Ffi}) {
        auto leaderOf = [layout](std::int32_t mfn) {
            return layout != LeaderLayout::Standard ? layout
                   : mfn % 2 == 1                   ? LeaderLayout::Standard
                                                    : LeaderLayout::Aligned;
        };
        // Records of a bibliographic database's shapes: mostly a few short
        // fields, some with many or long ones.
        const std::string text =
            "Soil moisture and plant growth: a survey of methods. ^aParis^bUnesco^c1965; illus. "
            "bibl. ";
        std::uint32_t state = 2024;
        auto random = [&state](std::uint32_t below) {
            state = state * 1103515245u + 12345u;
            return static_cast<int>((state >> 16) % below);
        };
        DatabaseWriter db;
        for (std::int32_t mfn = 1; mfn <= kRecords; ++mfn) {
            FixtureRecord record;
            record.status = mfn == kTwentySix ? 1 : 0;
            const int fields = mfn == kTwenty      ? 20
                               : mfn == kTwentySix ? 26
                               : random(100) < 80  ? 3 + random(4)
                                                   : 7 + random(34);
            for (int f = 0; f < fields; ++f) {
                const auto length =
                    static_cast<std::size_t>(random(10) == 0 ? 33 + random(368) : 1 + random(32));
                std::string value;
                while (value.size() < length) {
                    value += text.substr(static_cast<std::size_t>(random(40)));
                }
                value.resize(length);
                record.fields.push_back({static_cast<std::int16_t>(1 + random(999)), value});
            }
            db.SetLeaderLayout(leaderOf(mfn));
            db.Add(record);
        }
        const std::string master = db.MasterBytes();
        const TempDir dir;
        const auto sound = ExportInProcess({master, db.CrossRefBytes()}, dir.path());
        ASSERT_TRUE(sound.has_value());
        ASSERT_EQ(sound->status, 0) << sound->messages;
        ASSERT_SAME_TEXT(sound->output, db.ExpectedOutput());

        for (const std::int32_t damaged : {1, kTwenty, kTwentySix, 1900}) {
            const Offsets o = OffsetsOf(leaderOf(damaged));
            const auto start = static_cast<std::size_t>(db.RecordStart(damaged));
            for (int damage = 0; damage < 5; ++damage) {
                std::string bytes = master;
                switch (damage) {
                    case 0:  // BASE off by two
                        Add(bytes, start + o.base, o.width, 2);
                        break;
                    case 1:  // NVF one more
                        Add(bytes, start + o.nvf, 2, 1);
                        break;
                    case 2:  // MFRL one less
                        Add(bytes, start + 4, o.width, -1);
                        break;
                    case 3:  // the second entry's LEN past the data area
                        Add(bytes, start + o.leaderSize + o.entrySize + o.len, o.width, 30000);
                        break;
                    default:  // the leader all 0xFF
                        bytes.replace(start, o.leaderSize, o.leaderSize, '\xFF');
                }
                const auto run = ExportInProcess({bytes, db.CrossRefBytes()}, dir.path());
                ASSERT_TRUE(run.has_value());
                const std::string which = "MFN " + std::to_string(damaged) + ", damage " +
                                          std::to_string(damage) + " in " +
                                          (layout == LeaderLayout::Ffi ? "FFI" : "standard");
                EXPECT_EQ(run->status, 1) << which;
                const std::string about = ": MFN " + std::to_string(damaged) + ": ";
                for (std::size_t at = 0; at < run->messages.size();) {
                    const std::size_t end = run->messages.find('\n', at);
                    EXPECT_NE(run->messages.substr(at, end - at).find(about), std::string::npos)
                        << which << ": " << run->messages.substr(at, end - at);
                    at = end + 1;
                }
                EXPECT_SAME_TEXT(Without(run->output, damaged), Without(sound->output, damaged))
                    << which;
                if (HasFailure()) {
                    return;
                }
            }
        }
    }
}

}  // namespace
