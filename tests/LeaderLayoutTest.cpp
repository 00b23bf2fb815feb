// Master files whose records have 20-byte aligned leaders, alone or mixed
// with the usual 18-byte ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "OpenDatabase.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

// A few hundred records of varied shapes, the same for every layout.
std::vector<FixtureRecord> SampleRecords() {
    std::vector<FixtureRecord> records;
    for (int i = 1; i <= 260; ++i) {
        FixtureRecord record;
        record.status = static_cast<std::int16_t>(i % 3 == 0);
        const int fields = i % 23;  // 20 fields with STATUS 0 fit both readings
        for (int f = 0; f < fields; ++f) {
            const auto tag = static_cast<std::int16_t>(f % 5 == 4 ? -f : 10 * f + 1);
            record.fields.push_back(
                {tag, std::string(static_cast<std::size_t>((i + f) % 90), 'a' + f)});
        }
        records.push_back(record);
    }
    return records;
}

std::string ExportOf(const DatabaseWriter& db) {
    TempDir dir;
    db.WriteTo(dir.path());
    const ExportRun run = RunExport(dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.stderrText, "");
    return run.output;
}

TEST(LeaderLayout, AlignedDatabaseExportsLikeItsStandardTwin) {
    DatabaseWriter standard;
    DatabaseWriter aligned;
    aligned.SetLeaderLayout(LeaderLayout::Aligned);
    for (const FixtureRecord& record : SampleRecords()) {
        standard.Add(record);
        aligned.Add(record);
    }
    aligned.Delete(4);
    standard.Delete(4);
    ASSERT_NE(standard.MasterBytes(), aligned.MasterBytes());
    const std::string expected = standard.ExpectedOutput();
    EXPECT_SAME_TEXT(ExportOf(standard), expected);
    EXPECT_SAME_TEXT(ExportOf(aligned), expected);
}

TEST(LeaderLayout, EveryRecordIsReadWithItsOwnLayout) {
    DatabaseWriter db;
    int i = 0;
    for (const FixtureRecord& record : SampleRecords()) {
        db.SetLeaderLayout(++i % 2 == 0 ? LeaderLayout::Aligned : LeaderLayout::Standard);
        db.Add(record);
    }
    // Updated records in the other layout than their first version.
    db.SetLeaderLayout(LeaderLayout::Aligned);
    db.Update(1, {{{1, "now aligned"}}});
    db.SetLeaderLayout(LeaderLayout::Standard);
    db.Update(2, {{{2, "now standard"}, {3, ""}}});
    EXPECT_SAME_TEXT(ExportOf(db), db.ExpectedOutput());
}

// An updated aligned record whose back pointer (MFBWB 1, MFBWP 174) reads as
// an 18-byte leader with BASE 174 and NVF 26, which is consistent too; its
// own MFN and directory show which reading is right.
TEST(LeaderLayout, BackPointerThatLooksLikeAStandardLeader) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Aligned);
    db.Add({{{1, std::string(110 - 26, 'a')}}});  // 64 + 110: MFN 2 starts at 174
    db.Add({{{2, "first version"}}});
    ASSERT_EQ(db.RecordStart(2), 174);
    db.Update(2, {{{2, std::string(200, 'b')}}});
    EXPECT_SAME_TEXT(ExportOf(db), db.ExpectedOutput());
}

TEST(LeaderLayoutReader, AlignedLeaderFieldsComeFromTheirOwnOffsets) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Aligned);
    db.AddRaw(RawRecord(20 + 12 + 5, 20 + 12, 2, {{24, 0, 3}, {-70, 3, 2}}, "abcde", 77, 9,
                        LeaderLayout::Aligned));
    OpenDatabase open(db);
    RecordLeader leader;
    RecordFault fault = RecordFault::PastEndOfMaster;
    ASSERT_EQ(open.reader.ReadLeader(1, &leader, &fault), 0);
    EXPECT_EQ(fault, RecordFault::None);
    EXPECT_EQ(leader.MFN, 77);
    EXPECT_EQ(leader.MFRL, 37);
    EXPECT_EQ(leader.BASE, 32);
    EXPECT_EQ(leader.NVF, 2);
    EXPECT_EQ(leader.STATUS, 9);

    DirectoryEntry directory[2];
    unsigned char data[6];
    ASSERT_EQ(open.reader.ReadFields(1, directory, 2, data, 5), 0);
    EXPECT_EQ(directory[0].TAG, 24);
    EXPECT_EQ(directory[1].TAG, -70);
    EXPECT_EQ(directory[1].POS, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data)), "abcde");
}

TEST(LeaderLayoutReader, StandardReadingWinsWhenBothFit) {
    // 20 fields with STATUS 0: read as an aligned leader, these bytes would
    // say BASE 20 and NVF 0, which is consistent too.
    FixtureRecord record;
    for (int f = 0; f < 20; ++f) {
        record.fields.push_back({static_cast<std::int16_t>(f), "v"});
    }
    DatabaseWriter db;
    db.Add(record);
    OpenDatabase open(db);
    RecordLeader leader;
    ASSERT_EQ(open.reader.ReadLeader(1, &leader), 0);
    EXPECT_EQ(leader.NVF, 20);
    EXPECT_EQ(leader.BASE, 18 + 6 * 20);
}

TEST(LeaderLayout, InconsistentInBothReadingsIsDamage) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    // aligned, but BASE is off by two
    db.AddRaw(
        RawRecord(20 + 6 + 4, 20 + 6 + 2, 1, {{5, 0, 4}}, "abcd", 2, 0, LeaderLayout::Aligned));
    // aligned and consistent, but reaching past the end of the file
    db.Add({{{3, "third"}}});
    db.AddRaw(
        RawRecord(20 + 6 + 400, 20 + 6, 1, {{5, 0, 400}}, "short", 4, 0, LeaderLayout::Aligned));
    TempDir dir;
    db.WriteTo(dir.path());
    const ExportRun run = RunExport(dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.stderrText.find("MFN 2: inconsistent leader"), std::string::npos)
        << run.stderrText;
    EXPECT_NE(run.stderrText.find("MFN 4: the record reaches past the end of the file"),
              std::string::npos)
        << run.stderrText;
    EXPECT_SAME_TEXT(run.output,
                     "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n\n\n"
                     "[RECORD 3]\n<3>third</3>\n\n\n[RECORD 4]\n\n\n");
}

}  // namespace
