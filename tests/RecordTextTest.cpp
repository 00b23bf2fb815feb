#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "OpenDatabase.hpp"

namespace {

using Kind = ProblemKind;

std::string TextOf(const FixtureRecord& record) {
    DatabaseWriter db;
    db.Add(record);
    OpenDatabase open(db);
    std::vector<RecordProblem> problems;
    const auto text = open.reader.RecordText(1, &problems);
    EXPECT_TRUE(problems.empty());
    return text.value_or("<none>");
}

TEST(RecordText, OneLinePerEntryInDirectoryOrder) {
    EXPECT_EQ(TextOf({{{24, "Title"}, {70, "First"}, {26, "Paris"}, {70, "Second"}}}),
              "<24>Title</24>\n<70>First</70>\n<26>Paris</26>\n<70>Second</70>\n");
}

TEST(RecordText, NoEntriesGiveAnEmptyText) {
    EXPECT_EQ(TextOf({}), "");
}

TEST(RecordText, TagsAreSignedDecimal) {
    EXPECT_EQ(TextOf({{{-5, "a"}, {0, "b"}, {32767, "c"}, {-32768, "d"}}}),
              "<-5>a</-5>\n<0>b</0>\n<32767>c</32767>\n<-32768>d</-32768>\n");
}

TEST(RecordText, ValuesAreWrittenAsStoredUpToTheFirstZeroByte) {
    EXPECT_EQ(TextOf({{{1, ""}, {2, "a<b>&c"}, {3, "line\nbreak\r\n"}}}),
              "<1></1>\n<2>a<b>&c</2>\n<3>line\nbreak\r\n</3>\n");
    EXPECT_EQ(
        TextOf({{{4, std::string("ab\0cd", 5)}, {5, std::string("\0x", 2)}, {6, "\xff\x80"}}}),
        "<4>ab</4>\n<5></5>\n<6>\xff\x80</6>\n");
}

TEST(RecordText, StatusDoesNotMatter) {
    EXPECT_EQ(TextOf({{{10, "abc"}}, 1}), "<10>abc</10>\n");
}

TEST(RecordText, GrowsPastTheReserveForLongTags) {
    // 2000 entries of a six-character tag with one-byte values need
    // 2000 * 21 bytes, well past 15 bytes a line plus the data area.
    FixtureRecord record;
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        const char value(static_cast<char>('a' + i % 26));
        record.fields.push_back({-32768, std::string(1, value)});
        expected += std::string("<-32768>") + value + "</-32768>\n";
    }
    EXPECT_EQ(TextOf(record), expected);
}

TEST(RecordText, OverlappingValuesAreEachWrittenWhole) {
    DatabaseWriter db;
    const std::string data = "abcdefghij";
    db.AddRaw(RawRecord(18 + 18 + 10, 18 + 18, 3, {{1, 0, 10}, {2, 0, 10}, {3, 5, 5}}, data));
    OpenDatabase open(db);
    EXPECT_EQ(open.reader.RecordText(1), "<1>abcdefghij</1>\n<2>abcdefghij</2>\n<3>fghij</3>\n");
}

TEST(RecordText, DeletedAndUnwrittenRecordsAreEmptyWithoutProblem) {
    DatabaseWriter db;
    db.Delete(db.Add({{{1, "gone"}}}));
    db.AddUnwritten();
    OpenDatabase open(db);
    std::vector<RecordProblem> problems;
    EXPECT_EQ(open.reader.RecordText(1, &problems), "");
    EXPECT_EQ(open.reader.RecordText(2, &problems), "");
    EXPECT_TRUE(problems.empty());
}

TEST(RecordText, InconsistentLeaderGivesAnEmptyTextAndAProblem) {
    struct Case {
        std::int32_t mfrl, base, nvf;
    };
    for (const Case c : {Case{40, 30, 1},     // BASE != 18 + 6 * NVF
                         Case{40, 12, -1},    // NVF < 0
                         Case{20, 24, 1}}) {  // MFRL < BASE
        DatabaseWriter db;
        db.AddRaw(RawRecord(c.mfrl, c.base, c.nvf, {{1, 0, 2}}, std::string(40, 'x')));
        db.Add({{{2, "fine"}}});
        OpenDatabase open(db);
        std::vector<RecordProblem> problems;
        EXPECT_EQ(open.reader.RecordText(1, &problems), "");
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].kind, Kind::InconsistentLeader);
        EXPECT_EQ(problems[0].base, c.base);
        EXPECT_EQ(open.reader.RecordText(2, &problems), "<2>fine</2>\n");
        EXPECT_EQ(problems.size(), 1u);
    }
}

TEST(RecordText, EntryOutsideTheDataAreaIsLeftOut) {
    DatabaseWriter db;
    const std::vector<RawEntry> entries = {{1, 0, 3}, {2, -1, 2},        {3, 0, -1},
                                           {4, 2, 4}, {5, 32767, 32767}, {6, 3, 2}};
    db.AddRaw(RawRecord(18 + 36 + 5, 18 + 36, 6, entries, "abcde"));
    OpenDatabase open(db);
    std::vector<RecordProblem> problems;
    EXPECT_EQ(open.reader.RecordText(1, &problems), "<1>abc</1>\n<6>de</6>\n");
    ASSERT_EQ(problems.size(), 4u);
    for (std::size_t i = 0; i < problems.size(); ++i) {
        EXPECT_EQ(problems[i].kind, Kind::EntryOutsideData);
        EXPECT_EQ(problems[i].tag, static_cast<std::int32_t>(i + 2));
    }
}

TEST(RecordText, RecordPastTheEndOfTheMasterFile) {
    DatabaseWriter db;
    db.Add({{{1, "whole"}}});
    db.AddRaw(RawRecord(18 + 6 + 100, 18 + 6, 1, {{1, 0, 100}}, "only ten b"));
    OpenDatabase open(db);
    std::vector<RecordProblem> problems;
    EXPECT_EQ(open.reader.RecordText(2, &problems), "");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, Kind::PastEndOfMaster);
    EXPECT_EQ(open.reader.RecordText(1), "<1>whole</1>\n");
}

TEST(RecordText, AppendsAfterWhatIsThere) {
    DatabaseWriter db;
    db.Add({{{7, "x"}}});
    OpenDatabase open(db);
    std::string text = "before\n";
    EXPECT_TRUE(open.reader.AppendRecordText(1, text));
    EXPECT_FALSE(open.reader.AppendRecordText(2, text));
    EXPECT_EQ(text, "before\n<7>x</7>\n");
}

}  // namespace
