// Databases written by other builds of the CDS/ISIS tools: shifted pointers,
// FFI records, locked records and big-endian files. Each must export exactly
// like its standard twin, with no message; nothing in the files names the
// layout.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "LayoutVariants.hpp"
#include "OpenDatabase.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

ExportRun ExportOf(const DatabaseWriter& db) {
    TempDir dir;
    db.WriteTo(dir.path());
    return RunExport(dir.path());
}

class VariantTest : public ::testing::TestWithParam<Variant> {};

TEST_P(VariantTest, ExportsLikeItsStandardTwin) {
    const DatabaseWriter twin = History(kPublished);
    const DatabaseWriter variant = History(GetParam());
    ASSERT_NE(variant.MasterBytes(), twin.MasterBytes());
    const ExportRun run = ExportOf(variant);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.stderrText, "");
    EXPECT_SAME_TEXT(run.output, twin.ExpectedOutput());
}

INSTANTIATE_TEST_SUITE_P(Variants, VariantTest, ::testing::ValuesIn(LayoutVariants()),
                         [](const ::testing::TestParamInfo<Variant>& info) {
                             return std::string(info.param.name);
                         });

// MFRL -32768 is a record of 32,768 bytes, one more than a 16-bit MFRL holds.
TEST(LockedRecords, SmallestMfrlIsTheLongestRecord) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    const std::string value(32768 - 18 - 6, 'v');
    db.AddRaw(RawRecord(-32768, 18 + 6, 1, {{7, 0, 32768 - 18 - 6}}, value, 2));
    const ExportRun run = ExportOf(db);
    EXPECT_EQ(run.stderrText, "");
    EXPECT_SAME_TEXT(run.output,
                     "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n<7>" + value + "</7>\n\n\n");
}

// FFI values are written whole however long: past 16 bits, and past the
// reader's buffers.
TEST(FfiRecords, LongValuesAreWrittenWhole) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::FfiAligned);
    db.Add({{{1, std::string(40000, 'a')}, {2, "short"}}});
    db.Add({{{3, std::string(300000, 'b')}}});
    db.Add({{{4, std::string(70000, 'c')}}, 0, true});  // locked
    db.Add({{{5, "last"}}});
    const ExportRun run = ExportOf(db);
    EXPECT_EQ(run.stderrText, "");
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
}

// Read as packed FFI, these standard leaders pass the BASE test: NVF 32 and
// STATUS 0 read as an FFI BASE of 32, and the first TAG, 1, as an FFI NVF,
// and 22 + 10 * 1 is 32. The rest of the records tells.
TEST(LayoutDecision, StandardRecordsThatPassTheFfiBaseTest) {
    FixtureRecord record;
    for (int f = 0; f < 32; ++f) {
        record.fields.push_back({static_cast<std::int16_t>(f + 1), std::to_string(f)});
    }
    DatabaseWriter db;
    for (int i = 0; i < 10; ++i) {
        db.Add(record);
    }
    OpenDatabase open(db);
    EXPECT_EQ(open.reader.Layout().format, layout::RecordFormat::Standard);
    EXPECT_SAME_TEXT(ExportOf(db).output, db.ExpectedOutput());
}

// The first stored records are what the layout is told from: deleted
// records before them and damage among them do not hide it.
TEST(LayoutDecision, DeletedAndDamagedRecordsAmongTheFirst) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.SetByteOrder(Endianness::Big);
    db.SetPointerShift(3);
    for (int i = 1; i <= 300; ++i) {
        db.Add({{{static_cast<std::int16_t>(i), "record " + std::to_string(i)}}});
    }
    for (int mfn = 1; mfn <= 200; ++mfn) {
        db.Delete(mfn);
    }
    // Three of the first eight stored records are damaged.
    std::string master = db.MasterBytes();
    for (const std::int32_t mfn : {201, 204, 207}) {
        master[static_cast<std::size_t>(db.RecordStart(mfn) + 19)] = 9;  // NVF, low byte
    }
    TempDir dir;
    db.WriteTo(dir.path());
    WriteFile(dir.path() / "ths.mst", master);
    const ExportRun run = RunExport(dir.path());
    EXPECT_EQ(run.exitCode, 1);
    std::string expected = db.ExpectedOutput();
    for (const std::int32_t mfn : {201, 204, 207}) {
        const std::string record = db.ExpectedRecord(mfn);
        expected.replace(expected.find(record), record.size(),
                         "[RECORD " + std::to_string(mfn) + "]\n\n\n");
        EXPECT_NE(run.stderrText.find("MFN " + std::to_string(mfn) + ": inconsistent FFI leader"),
                  std::string::npos)
            << run.stderrText;
    }
    EXPECT_SAME_TEXT(run.output, expected);
}

// A high byte of MFTYPE that is no pointer shift, or a shift the pointers
// were not written with: the records still tell.
TEST(LayoutDecision, MftypeThatDoesNotGiveTheShift) {
    for (const unsigned char highByte : {0x03, 0x0C, 0xFF}) {
        DatabaseWriter db;
        for (int i = 1; i <= 20; ++i) {
            db.Add({{{static_cast<std::int16_t>(i), std::to_string(i)}}});
        }
        TempDir dir;
        db.WriteTo(dir.path());
        std::string master = db.MasterBytes();
        master[15] = static_cast<char>(highByte);
        WriteFile(dir.path() / "ths.mst", master);
        const ExportRun run = RunExport(dir.path());
        EXPECT_EQ(run.stderrText, "") << int{highByte};
        EXPECT_SAME_TEXT(run.output, db.ExpectedOutput()) << int{highByte};
    }
}

// The 16-bit leader and directory of the reader's record operations hold an
// FFI record's numbers where they fit, never a pad's bytes; a record too
// long for them is refused, leaving the outputs as they were.
TEST(FfiRecordOperations, SixteenBitFieldsWhereTheyFit) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::FfiAligned);
    db.SetByteOrder(Endianness::Big);
    db.SetPointerShift(3);
    db.Add({{{-24, "abc"}, {70, "defgh"}}, 6});
    db.Add({{{1, std::string(40000, 'x')}}});
    OpenDatabase open(db);

    RecordLeader leader;
    RecordFault fault = RecordFault::PastEndOfMaster;
    ASSERT_EQ(open.reader.ReadLeader(1, &leader, &fault), 0);
    EXPECT_EQ(fault, RecordFault::None);
    EXPECT_EQ(leader.MFN, 1);
    EXPECT_EQ(leader.MFRL, 24 + 2 * 12 + 8);
    EXPECT_EQ(leader.BASE, 24 + 2 * 12);
    EXPECT_EQ(leader.NVF, 2);
    EXPECT_EQ(leader.STATUS, 6);
    DirectoryEntry directory[2];
    unsigned char data[9];
    ASSERT_EQ(open.reader.ReadFields(1, directory, 2, data, 8), 0);
    EXPECT_EQ(directory[0].TAG, -24);
    EXPECT_EQ(directory[1].POS, 3);
    EXPECT_EQ(directory[1].LEN, 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "abcdefgh");

    RecordLeader untouched;
    untouched.MFN = 999;
    EXPECT_EQ(open.reader.ReadLeader(2, &untouched, &fault), -1);
    EXPECT_EQ(fault, RecordFault::WiderThanSixteenBits);
    EXPECT_EQ(untouched.MFN, 999);
    DirectoryEntry entry{7, 7, 7};
    EXPECT_EQ(open.reader.ReadFields(2, &entry, 1, data, 0, &fault), -1);
    EXPECT_EQ(fault, RecordFault::WiderThanSixteenBits);
    EXPECT_EQ(entry.TAG, 7);
}

// An FFI MFRL as small as 32 bits go is a record of 2^31 bytes: past the end
// of this file, and computed without overflow.
TEST(FfiRecords, SmallestMfrlReachesPastTheEnd) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add({{{1, "first"}}});
    db.AddRaw(RawRecord(std::numeric_limits<std::int32_t>::min(), 22 + 10, 1, {{2, 0, 3}}, "abc", 2,
                        0, LeaderLayout::Ffi));
    db.Add({{{3, "third"}}});
    const ExportRun run = ExportOf(db);
    EXPECT_NE(run.stderrText.find("MFN 2: the record reaches past the end"), std::string::npos)
        << run.stderrText;
    EXPECT_SAME_TEXT(
        run.output, "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n<3>third</3>\n\n\n");
}

}  // namespace
