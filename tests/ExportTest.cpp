// End-to-end: the built program run in a directory with a database.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>

#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

namespace fs = std::filesystem;

int CountLines(const std::string& text) {
    int lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines;
}

// Expects one message line that mentions every one of `words`.
void ExpectOneMessage(const ExportRun& run, std::initializer_list<const char*> words) {
    EXPECT_EQ(CountLines(run.stderrText), 1) << run.stderrText;
    EXPECT_EQ(run.stderrText.rfind("mstexport: ", 0), 0u) << run.stderrText;
    for (const char* word : words) {
        EXPECT_NE(run.stderrText.find(word), std::string::npos)
            << "'" << word << "' not in: " << run.stderrText;
    }
}

void ExpectClean(const ExportRun& run) {
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.stderrText, "");
    EXPECT_EQ(run.stdoutText, "");
}

class ExportTest : public ::testing::Test {
  protected:
    fs::path Dir() const { return temp_.path(); }
    ExportRun Export(const DatabaseWriter& db) {
        db.WriteTo(Dir());
        return RunExport(Dir());
    }

    TempDir temp_;
};

TEST_F(ExportTest, WritesTheLayoutByteForByte) {
    DatabaseWriter db;
    db.Add({{{10, "abc"}, {20, "xyz"}}});
    db.Add({});
    const ExportRun run = Export(db);
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.output,
                     "[RECORD 1]\n<10>abc</10>\n<20>xyz</20>\n\n\n"
                     "[RECORD 2]\n\n\n");
}

TEST_F(ExportTest, WellFormedDatabaseOfEveryShape) {
    DatabaseWriter db;
    db.SetPointerFlags(512 | 1024);
    for (int i = 1; i <= 300; ++i) {  // three cross-reference blocks
        FixtureRecord record;
        record.status = static_cast<std::int16_t>(i % 2);
        record.fields.push_back({24, "Title " + std::to_string(i)});
        // values long enough that records cross master file blocks
        record.fields.push_back(
            {70, std::string(static_cast<std::size_t>(i * 7 % 700), 'a' + i % 26)});
        record.fields.push_back({70, "second author"});
        record.fields.push_back({static_cast<std::int16_t>(-i), ""});
        record.fields.push_back({static_cast<std::int16_t>(10000 + i), "line\nfeed"});
        record.fields.push_back({5, std::string("zero\0byte", 9)});
        db.Add(record);
    }
    db.Update(5, {{{1, "updated, stored after MFN 300"}}});
    db.Update(200, {{{2, "updated too"}, {2, "twice"}}});
    db.Delete(7);
    db.Add({});
    const ExportRun run = Export(db);
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
    EXPECT_EQ(run.output.find('\r'), std::string::npos);
}

TEST_F(ExportTest, DeletedAndUnwrittenRecordsAreBareHeaders) {
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.Delete(db.Add({{{2, "b"}}}));
    db.AddUnwritten();
    db.Add({{{4, "d"}}});
    const ExportRun run = Export(db);
    ExpectClean(run);
    EXPECT_EQ(
        run.output,
        "[RECORD 1]\n<1>a</1>\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n\n\n[RECORD 4]\n<4>d</4>\n\n\n");
}

// Only 0 means never written and bit 31 deleted: any other pointer without a
// block number locates no record, which is damage.
TEST_F(ExportTest, PointerWithoutABlockIsDamage) {
    for (const std::uint32_t pointer : {0x40u, 0x600u, 0x7FFu}) {
        DatabaseWriter db;
        db.Add({{{1, "a"}}});
        db.AddPointer(pointer);
        db.Add({{{3, "c"}}});
        const ExportRun run = Export(db);
        EXPECT_EQ(run.exitCode, 1);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", pointer);
        ExpectOneMessage(run, {"ths.mst", "MFN 2", hex});
        EXPECT_SAME_TEXT(run.output,
                         "[RECORD 1]\n<1>a</1>\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n<3>c</3>\n\n\n");
    }
}

TEST_F(ExportTest, NoRecordsGiveAnEmptyOutput) {
    DatabaseWriter db;
    WriteFile(Dir() / "formatirani_izlaz.txt", "left from an earlier run");
    const ExportRun run = Export(db);
    ExpectClean(run);
    EXPECT_TRUE(run.outputExists);
    EXPECT_EQ(run.output, "");
}

TEST_F(ExportTest, MissingDatabaseFilesAreReportedAndTheOutputEmptied) {
    for (const char* missing : {"ths.mst", "ths.xrf"}) {
        DatabaseWriter db;
        db.Add({{{1, "a"}}});
        db.WriteTo(Dir());
        fs::remove(Dir() / missing);
        WriteFile(Dir() / "formatirani_izlaz.txt", "left from an earlier run");
        const ExportRun run = RunExport(Dir());
        EXPECT_EQ(run.exitCode, 1);
        ExpectOneMessage(run, {missing});
        EXPECT_TRUE(run.outputExists);
        EXPECT_EQ(run.output, "");
    }
}

TEST_F(ExportTest, UnreadableMasterFileIsReported) {
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.WriteTo(Dir());
    fs::remove(Dir() / "ths.mst");
    fs::create_directory(Dir() / "ths.mst");
    const ExportRun run = RunExport(Dir());
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"ths.mst"});
    EXPECT_EQ(run.output, "");
}

TEST_F(ExportTest, OutputThatCannotBeCreated) {
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.WriteTo(Dir());
    fs::create_directory(Dir() / "formatirani_izlaz.txt");
    const ExportRun run = RunExport(Dir());
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"formatirani_izlaz.txt"});
    EXPECT_EQ(run.stdoutText, "");
}

#ifdef __linux__
TEST_F(ExportTest, FailedWriteIsReported) {
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.WriteTo(Dir());
    fs::create_symlink("/dev/full", Dir() / "formatirani_izlaz.txt");
    const ExportRun run = RunExport(Dir());
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"formatirani_izlaz.txt"});
}
#endif

TEST_F(ExportTest, MasterFileTooShortForTheControlRecord) {
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.WriteTo(Dir());
    WriteFile(Dir() / "ths.mst", db.MasterBytes().substr(0, 15));
    const ExportRun run = RunExport(Dir());
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"ths.mst"});
    EXPECT_EQ(run.output, "");
}

TEST_F(ExportTest, NextMfnOfZeroOrLessIsReported) {
    for (std::int32_t nextMfn : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
        DatabaseWriter db;
        db.Add({{{1, "a"}}});
        db.SetNextMfn(nextMfn);
        const ExportRun run = Export(db);
        EXPECT_EQ(run.exitCode, 1);
        ExpectOneMessage(run, {"ths.mst", std::to_string(nextMfn).c_str()});
        EXPECT_EQ(run.output, "");
    }
}

TEST_F(ExportTest, NextMfnOfOneIsAnEmptyDatabase) {
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.SetNextMfn(1);
    const ExportRun run = Export(db);
    ExpectClean(run);
    EXPECT_EQ(run.output, "");
}

TEST_F(ExportTest, CrossReferenceFileShorterThanTheControlRecordClaims) {
    DatabaseWriter db;
    for (int i = 1; i <= 130; ++i) {
        db.Add({{{1, std::to_string(i)}}});
    }
    db.WriteTo(Dir());
    // MFN 128's slot is whole, MFN 129's is cut
    WriteFile(Dir() / "ths.xrf", db.CrossRefBytes().substr(0, 512 + 4 + 4 + 3));
    const ExportRun run = RunExport(Dir());
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"ths.xrf", "128"});
    const std::string expected = db.ExpectedOutput();
    EXPECT_SAME_TEXT(run.output, expected.substr(0, expected.find("[RECORD 129]")));
}

TEST_F(ExportTest, HugeNextMfnWithOneCrossReferenceBlockEndsAtOnce) {
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.SetNextMfn(std::numeric_limits<std::int32_t>::max());
    const ExportRun run = Export(db);
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"ths.xrf", "127"});
    EXPECT_EQ(CountLines(run.output), 3 * 127 + 1);
    EXPECT_EQ(run.output.rfind("[RECORD 127]\n\n\n"), run.output.size() - 15);
}

TEST_F(ExportTest, RecordPastTheEndOfTheMasterFile) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    db.Add({{{2, "second, cut short"}}});
    db.WriteTo(Dir());
    const std::string master = db.MasterBytes();
    WriteFile(Dir() / "ths.mst", master.substr(0, master.size() - 3));
    const ExportRun run = RunExport(Dir());
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"ths.mst", "MFN 2"});
    EXPECT_SAME_TEXT(run.output, "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n\n\n");
}

TEST_F(ExportTest, InconsistentLeaderGivesABareHeader) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    db.AddRaw(RawRecord(40, 30, 1, {{2, 0, 5}}, "abcdefghijklmnopqrstuv"));  // BASE != 24
    db.Add({{{3, "third"}}});
    const ExportRun run = Export(db);
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"ths.mst", "MFN 2"});
    EXPECT_SAME_TEXT(
        run.output, "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n<3>third</3>\n\n\n");
}

TEST_F(ExportTest, EntryOutsideTheDataAreaIsLeftOut) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    db.AddRaw(RawRecord(18 + 18 + 4, 18 + 18, 3, {{7, 0, 2}, {-77, 3, 2}, {9, 2, 2}}, "abcd"));
    const ExportRun run = Export(db);
    EXPECT_EQ(run.exitCode, 1);
    ExpectOneMessage(run, {"ths.mst", "MFN 2", "tag -77"});
    EXPECT_SAME_TEXT(run.output,
                     "[RECORD 1]\n<1>first</1>\n\n\n[RECORD 2]\n<7>ab</7>\n<9>cd</9>\n\n\n");
}

}  // namespace
