// A master file cut inside its last record, in every layout: the record is
// said to reach past the end of the file, whatever else its cut bytes could
// be read as, and every record before it is exact.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "DatabaseWriter.hpp"
#include "ExportCheck.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

struct CutLayout {
    const char* name;
    LeaderLayout layout;
    Endianness order;
    int shift;
    int leaderSize;
};
void PrintTo(const CutLayout& layout, std::ostream* out) {
    *out << layout.name;
}

const CutLayout kCutLayouts[] = {
    {"Standard", LeaderLayout::Standard, Endianness::Little, 0, 18},
    {"Aligned", LeaderLayout::Aligned, Endianness::Little, 0, 20},
    {"BigEndianAligned", LeaderLayout::Aligned, Endianness::Big, 0, 20},
    {"Ffi", LeaderLayout::Ffi, Endianness::Little, 3, 22},
    {"BigEndianFfiAligned", LeaderLayout::FfiAligned, Endianness::Big, 2, 24},
};

class CutRecordTest : public ::testing::TestWithParam<CutLayout> {
  protected:
    // `before` sound records, then the one that is cut, with 20 fields and
    // STATUS 0, whose 18-byte leader also reads as a 20-byte one.
    DatabaseWriter Database(int before) const {
        DatabaseWriter db;
        db.SetLeaderLayout(GetParam().layout);
        db.SetByteOrder(GetParam().order);
        db.SetPointerShift(GetParam().shift);
        for (int i = 1; i <= before; ++i) {
            db.Add({{{static_cast<std::int16_t>(i), "record " + std::to_string(i)}}});
        }
        FixtureRecord last;
        for (int f = 0; f < 20; ++f) {
            last.fields.push_back({static_cast<std::int16_t>(f), "value " + std::to_string(f)});
        }
        db.Add(last);
        return db;
    }

    // Cuts the master file at every offset from `from` bytes into its last
    // record to the record's last byte.
    void ExpectEveryCutPastTheEnd(const DatabaseWriter& db, std::int64_t from) {
        const std::string master = db.MasterBytes();
        const std::int32_t last = db.LastMfn();
        std::string expected;
        for (std::int32_t mfn = 1; mfn < last; ++mfn) {
            expected += db.ExpectedRecord(mfn);
        }
        expected += "[RECORD " + std::to_string(last) + "]\n\n\n";
        const std::string message = "MFN " + std::to_string(last) +
                                    ": the record reaches past the end of the file; exported "
                                    "without fields\n";
        TempDir dir;
        const std::string prefix = "mstexport: " + NamesIn(dir.path()).master + ": ";
        for (std::int64_t cut = db.RecordStart(last) + from;
             cut < static_cast<std::int64_t>(master.size()); ++cut) {
            const auto run = ExportInProcess(
                {master.substr(0, static_cast<std::size_t>(cut)), db.CrossRefBytes()}, dir.path());
            ASSERT_TRUE(run.has_value());
            const std::string where = "cut at " + std::to_string(cut);
            EXPECT_EQ(run->status, 1) << where;
            EXPECT_EQ(run->messages, prefix + message) << where;
            EXPECT_SAME_TEXT(run->output, expected) << where;
            if (HasFailure()) {
                return;
            }
        }
    }
};

// The records before the cut one tell the layout.
TEST_P(CutRecordTest, AfterSoundRecords) {
    ExpectEveryCutPastTheEnd(Database(2), 0);
}

// The cut record is the only one: its whole leader is all there is to tell
// the layout from.
TEST_P(CutRecordTest, AloneInTheFile) {
    ExpectEveryCutPastTheEnd(Database(0), GetParam().leaderSize);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CutRecordTest, ::testing::ValuesIn(kCutLayouts),
                         [](const ::testing::TestParamInfo<CutLayout>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
