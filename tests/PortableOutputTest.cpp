// End-to-end checks that the program writes the same bytes on every
// platform: both the Linux and the Windows build must give exactly what the
// writer expects, with line feeds as single 0x0A bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>

#include "DatabaseWriter.hpp"
#include "ExampleDatabase.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

namespace fs = std::filesystem;

std::ptrdiff_t CarriageReturns(const std::string& text) {
    return std::count(text.begin(), text.end(), '\r');
}

void ExpectClean(const ExportRun& run) {
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(run.stderrText, "");
    EXPECT_EQ(run.stdoutText, "");
}

TEST(PortableOutput, ExamplesExportAsTheWriterExpects) {
    const fs::path examples = MSTEXPORT_EXAMPLES;
    const DatabaseWriter db = ExampleDatabase();
    // The sample that users run is the one the writer makes.
    ASSERT_EQ(ReadFile(examples / "ths.mst"), db.MasterBytes());
    ASSERT_EQ(ReadFile(examples / "ths.xrf"), db.CrossRefBytes());
    ASSERT_EQ(ReadFile(examples / "ths.fdt"), ExampleFieldTable());

    TempDir dir;
    fs::copy_file(examples / "ths.mst", dir.path() / "ths.mst");
    fs::copy_file(examples / "ths.xrf", dir.path() / "ths.xrf");
    const ExportRun run = RunExport(dir.path());
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
    EXPECT_EQ(CarriageReturns(run.output), 0);
}

TEST(PortableOutput, LineFeedsInValuesAndBetweenRecordsStaySingleBytes) {
    DatabaseWriter db;
    for (int i = 1; i <= 200; ++i) {
        db.Add({{{1, "line one\nline two\n"}, {2, "\n"}, {3, std::string(i % 5, '\n') + "x"}}});
    }
    db.Add({});
    TempDir dir;
    db.WriteTo(dir.path());
    const ExportRun run = RunExport(dir.path());
    ExpectClean(run);
    EXPECT_EQ(run.output.size(), db.ExpectedOutput().size());
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
    EXPECT_EQ(CarriageReturns(run.output), 0);
}

TEST(PortableOutput, EveryByteValueIsWrittenAsStored) {
    std::string everyByte;
    for (int byte = 1; byte <= 255; ++byte) {
        everyByte += static_cast<char>(byte);
    }
    DatabaseWriter db;
    db.Add({{{1, everyByte},
             {2, "ends in a carriage return\r"},
             // 0x1A ends a text-mode read on Windows
             {3, "before \x1a after"},
             {4, "\r\n"}}});
    db.Add({{{5, "the record after them"}}});
    TempDir dir;
    db.WriteTo(dir.path());
    const ExportRun run = RunExport(dir.path());
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
    EXPECT_EQ(CarriageReturns(run.output), 3);  // only those stored in the values
}

// Another program (a database editor, a viewer of the last output) may hold
// the files open, for writing too; the export must still open them.
TEST(PortableOutput, FilesHeldOpenByAnotherProgram) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    db.Add({{{2, "second"}}});
    TempDir dir;
    db.WriteTo(dir.path());
    WriteFile(dir.path() / "formatirani_izlaz.txt",
              "left from an earlier run, longer than the new");
    const auto inOut = std::ios::in | std::ios::out | std::ios::binary;
    std::fstream master(dir.path() / "ths.mst", inOut);
    std::fstream crossRef(dir.path() / "ths.xrf", inOut);
    std::fstream output(dir.path() / "formatirani_izlaz.txt", inOut);
    ASSERT_TRUE(master.is_open() && crossRef.is_open() && output.is_open());

    const ExportRun run = RunExport(dir.path());
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
}

}  // namespace
