// The program run with arguments, as a user would: databases by any name and
// in any folder, the output anywhere or on standard output, ranges, help, and
// command lines that are wrong.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

#ifdef _WIN32
#include <share.h>
#include <stdio.h>
#endif

namespace {

namespace fs = std::filesystem;

const char* const kEarlier = "left from an earlier run";

DatabaseWriter ThreeRecords() {
    DatabaseWriter db;
    db.Add({{{24, "first"}}});
    db.Add({{{24, "second"}, {70, "author"}}});
    db.Add({{{24, "third"}}});
    return db;
}

void WriteDatabase(const DatabaseWriter& db, const fs::path& master, const fs::path& crossRef) {
    fs::create_directories(master.parent_path());
    WriteFile(master, db.MasterBytes());
    WriteFile(crossRef, db.CrossRefBytes());
}

class CommandLineExportTest : public ::testing::Test {
  protected:
    fs::path Dir() const { return temp_.path(); }
    ExportRun Run(const std::vector<std::string>& arguments) { return RunExport(Dir(), arguments); }
    void ExpectClean(const ExportRun& run) {
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.stderrText, "");
    }
    // A usage error: one line that says what, one that points to --help.
    void ExpectUsageError(const ExportRun& run, const std::string& what) {
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.stderrText, "mstexport: " + what + "\nTry 'mstexport --help'.\n");
        EXPECT_EQ(run.stdoutText, "");
    }

    TempDir temp_;
};

TEST_F(CommandLineExportTest, DatabaseByAnyNameInAnyFolder) {
    const DatabaseWriter db = ThreeRecords();
    const std::string expected = db.ExpectedOutput();
    WriteDatabase(db, Dir() / "data" / "CDS.MST", Dir() / "data" / "cds.Xrf");
    WriteDatabase(db, Dir() / "shelf" / "ths.mst", Dir() / "shelf" / "ths.xrf");
    for (const std::string database :
         {"data/CDS.MST", "data/CDS", "data/cds", "data/cds.mst", "shelf", "shelf/", "shelf/ths"}) {
        fs::remove(Dir() / "out.txt");
        const ExportRun run = Run({database, "-o", "out.txt"});
        ExpectClean(run);
        EXPECT_SAME_TEXT(ReadFile(Dir() / "out.txt"), expected) << database;
        EXPECT_FALSE(run.outputExists) << database;
    }
    const ExportRun run = Run({(Dir() / "data" / "cds").string()});  // absolute, default output
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.output, expected);
}

TEST_F(CommandLineExportTest, NamesInAnotherCaseWithoutArguments) {
    const DatabaseWriter db = ThreeRecords();
    WriteDatabase(db, Dir() / "THS.MST", Dir() / "Ths.Xrf");
    ExportRun run = Run({});
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
#ifndef _WIN32  // Windows' file names do not differ in case alone
    WriteFile(Dir() / "ths.XRF", db.CrossRefBytes());
    run = Run({});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.stderrText.find("Ths.Xrf, ths.XRF"), std::string::npos) << run.stderrText;
#endif
}

TEST_F(CommandLineExportTest, StandardOutputAndRanges) {
    DatabaseWriter db = ThreeRecords();
    db.Add({{{1, "line\nfeed\r\n"}}});
    WriteDatabase(db, Dir() / "cds.mst", Dir() / "cds.xrf");
    ExportRun run = Run({"cds", "-o", "-"});
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.stdoutText, db.ExpectedOutput());  // byte for byte: no CR added on Windows
    EXPECT_FALSE(run.outputExists);

    run = Run({"--from=2", "--to", "3", "-o-", "cds"});
    ExpectClean(run);
    EXPECT_SAME_TEXT(run.stdoutText, db.ExpectedRecord(2) + db.ExpectedRecord(3));
    run = Run({"--from=3", "--to=99", "-o-", "cds"});  // clipped to the last MFN
    EXPECT_SAME_TEXT(run.stdoutText, db.ExpectedRecord(3) + db.ExpectedRecord(4));
    run = Run({"--from=4", "-f", "JSONL", "-o-", "cds"});
    ExpectClean(run);
    EXPECT_EQ(run.stdoutText.rfind("{\"mfn\":4,", 0), 0u) << run.stdoutText;
}

TEST_F(CommandLineExportTest, HelpVersionAndUsageErrorsTouchNoFile) {
    WriteFile(Dir() / "formatirani_izlaz.txt", kEarlier);
    ExportRun run = Run({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(AsText(run.stdoutText).rfind("Usage: mstexport [OPTIONS] [DATABASE]\n", 0), 0u);
    EXPECT_EQ(run.stderrText, "");
    run = Run({"-V"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(AsText(run.stdoutText), "mstexport " MSTEXPORT_VERSION "\n");

    ExpectUsageError(Run({"--bogus"}), "unknown option '--bogus'");
    ExpectUsageError(Run({"--from=x", "-o", "new.txt"}),
                     "--from takes an MFN, a whole number from 1 up, not 'x'");
    ExpectUsageError(Run({"a", "b"}), "more than one database given: 'a' and 'b'");
    // The control record is read before the output is created: a range that
    // starts past its last MFN is a wrong command line too.
    WriteDatabase(ThreeRecords(), Dir() / "cds.mst", Dir() / "cds.xrf");
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"cds", "--from=4"},
                                                      {"--from=4", "-o", "new.txt", "cds"},
                                                      {"--from=4", "-o-", "cds"}}) {
        run = Run(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.stderrText,
                  "mstexport: --from 4 is past the last MFN of cds.mst, 3; nothing was written\n");
        EXPECT_EQ(run.stdoutText, "");
    }
    EXPECT_SAME_TEXT(ReadFile(Dir() / "formatirani_izlaz.txt"), kEarlier);
    EXPECT_FALSE(fs::exists(Dir() / "new.txt"));
}

TEST_F(CommandLineExportTest, WrongNameLeavesTheOutputAlone) {
    WriteDatabase(ThreeRecords(), Dir() / "cds.mst", Dir() / "cds.xrf");
    WriteFile(Dir() / "formatirani_izlaz.txt", kEarlier);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"cdz"}, {"-o", "formatirani_izlaz.txt"}}) {
        const ExportRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.stderrText.find("cannot read "), std::string::npos) << run.stderrText;
        EXPECT_SAME_TEXT(run.output, kEarlier);
    }
    fs::remove(Dir() / "cds.xrf");
    const ExportRun run = Run({"cds"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.stderrText.find("mstexport: cannot read cds.xrf: "), 0u) << run.stderrText;
    EXPECT_SAME_TEXT(run.output, kEarlier);
}

// A master file cut in half leaves every later record past its end.
TEST_F(CommandLineExportTest, MessagesOfEachKindAreLimited) {
    DatabaseWriter db;
    for (int i = 1; i <= 300; ++i) {
        db.Add({{{24, std::string(100, 'x')}}});
    }
    db.WriteTo(Dir());
    const std::string master = db.MasterBytes();
    WriteFile(Dir() / "ths.mst", master.substr(0, master.size() / 2));
    const ExportRun run = Run({"-o", "out.txt"});
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < run.stderrText.size();) {
        const std::size_t end = run.stderrText.find('\n', at);
        lines.push_back(run.stderrText.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 21u) << run.stderrText;
    EXPECT_NE(lines[0].find(": MFN 150: the record reaches past the end"), std::string::npos);
    EXPECT_EQ(lines[20],
              "mstexport: ths.mst: 131 more records that reach past the end of the file (MFN 170 "
              "to 300), not listed one by one");
    EXPECT_SAME_TEXT(ReadFile(Dir() / "out.txt").substr(0, 100),
                     db.ExpectedOutput().substr(0, 100));
}

TEST_F(CommandLineExportTest, FilesThatAreNotWhatTheyAreNamed) {
    DatabaseWriter larger;
    for (int i = 1; i <= 20; ++i) {
        larger.Add({{{24, "a title"}}});
    }
    // The cross-reference file of another database.
    WriteDatabase(larger, Dir() / "ths.mst", Dir() / "other.xrf");
    WriteFile(Dir() / "ths.xrf", std::string(512, '\x40'));
    const ExportRun run = Run({"-o", "out.txt"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(AsText(run.stderrText),
              "mstexport: ths.mst: none of the 20 records that ths.xrf locates can be read: the "
              "two files may be swapped, ths.mst may not be a master file, or ths.xrf may belong "
              "to another database; their problems are only counted below\n"
              "mstexport: ths.mst: 20 records that reach past the end of the file (MFN 1 to 20)\n"
              "mstexport: not one record of ths.mst could be read; out.txt was not created\n");
}

// A database whose first records are damaged but whose later ones read well
// is not taken for the wrong files: its messages are listed as usual, and
// its export replaces an earlier one.
TEST_F(CommandLineExportTest, DamagedFirstRecordsDoNotSilenceTheRest) {
    DatabaseWriter db;
    const std::string badLeader = RawRecord(40, 30, 1, {{2, 0, 5}}, std::string(22, 'z'));
    for (int i = 1; i <= 12; ++i) {
        db.AddRaw(badLeader);
    }
    db.Add({{{24, "readable"}}});
    for (int i = 14; i <= 30; ++i) {
        db.AddRaw(badLeader);
    }
    db.WriteTo(Dir());
    WriteFile(Dir() / "out.txt", kEarlier);
    const ExportRun run = Run({"-o", "out.txt"});
    EXPECT_EQ(run.exitCode, 1);
    std::string expected;
    for (int mfn : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 19, 20, 21}) {
        expected += "mstexport: ths.mst: MFN " + std::to_string(mfn) +
                    ": inconsistent leader (MFRL 40, BASE 30, NVF 1); exported without fields\n";
    }
    expected +=
        "mstexport: ths.mst: 9 more records with an inconsistent leader (MFN 22 to 30), not "
        "listed one by one\n";
    EXPECT_EQ(AsText(run.stderrText), expected);
    EXPECT_NE(ReadFile(Dir() / "out.txt").find("[RECORD 13]\n<24>readable</24>\n"),
              std::string::npos);
}

// A name that names no database or more than one is said, and no file is
// created: a folder that is not there is as a missing file (exit 1); more than
// one database for a name needs a more exact name (exit 2).
TEST_F(CommandLineExportTest, NamesOfNoDatabaseOrOfSeveral) {
    const DatabaseWriter db = ThreeRecords();
    WriteDatabase(db, Dir() / "cds.mst", Dir() / "cds.xrf");
    WriteDatabase(db, Dir() / "cds" / "ths.mst", Dir() / "cds" / "ths.xrf");
    WriteDatabase(db, Dir() / "two" / "bibl.mst", Dir() / "two" / "bibl.xrf");
    WriteDatabase(db, Dir() / "two" / "CDS.MST", Dir() / "two" / "CDS.XRF");
    WriteFile(Dir() / "two" / "notes.txt", "not a database");
#ifndef _WIN32  // Windows' file names do not differ in case alone
    WriteDatabase(db, Dir() / "case" / "CDS.MST", Dir() / "case" / "cds.xrf");
    WriteFile(Dir() / "case" / "cds.mst", db.MasterBytes());
#endif
    struct Case {
        std::string database;
        int exitCode;
        std::string said;
    };
    const Case cases[] = {
        {"a.mst/", 1, "cannot read a.mst/: no such folder; new.txt was not created"},
        {"cds.mst/", 1, "cannot read cds.mst/: not a folder; new.txt was not created"},
        {"two", 2, "two/ holds CDS.MST and bibl.mst: name one"},
        {"two/", 2, "two/ holds CDS.MST and bibl.mst: name one"},
        {"cds", 2,
         "cds names both the folder cds/ and the master file cds.mst: write cds/ or cds.mst"},
#ifndef _WIN32
        {"case/Cds", 2,
         "several files in case match Cds.mst in case: CDS.MST, cds.mst; rename all but one"},
#endif
    };
    for (const Case& c : cases) {
        const ExportRun run = Run({c.database, "-o", "new.txt"});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.database;
        EXPECT_EQ(AsText(run.stderrText), "mstexport: " + c.said + "\n") << c.database;
        EXPECT_FALSE(fs::exists(Dir() / "new.txt")) << c.database;
    }
    // Each said exactly, they are what they are. Names match in another case
    // for the letters of every code page the program converts, as for ASCII.
    std::vector<std::string> exact = {"cds/", "cds.mst", "two/bibl"};
    for (const auto& [stored, given] : std::vector<std::pair<std::string, std::string>>{
             {u8"Knjižnica", u8"KNJIŽNICA"},
             {u8"библ ѓєѕіїјљњћќўџґ", u8"БИБЛ ЃЄЅІЇЈЉЊЋЌЎЏҐ"},
             {u8"àéîõüçñæøåÿœšž", u8"ÀÉÎÕÜÇÑÆØÅŸŒŠŽ.mst"},
             {u8"őűąęłńśźżčďěňřťůĺľŕşţă", u8"ŐŰĄĘŁŃŚŹŻČĎĚŇŘŤŮĹĽŔŞŢĂ"},
             {u8"ΣΦΩΓΘ", u8"σφωγθ"}}) {
        WriteDatabase(db, Dir() / "data" / fs::u8path(stored + ".MST"),
                      Dir() / "data" / fs::u8path(stored + ".xrf"));
        exact.push_back("data/" + given);
    }
    for (const std::string& database : exact) {
        fs::remove(Dir() / "new.txt");
        ExpectClean(Run({database, "-o", "new.txt"}));
        EXPECT_SAME_TEXT(ReadFile(Dir() / "new.txt"), db.ExpectedOutput()) << database;
    }
}

// Names outside the system's code page: Windows hands them over only in
// UTF-16, which the program asks for.
TEST_F(CommandLineExportTest, NamesOutsideTheCodePage) {
    const DatabaseWriter db = ThreeRecords();
    const std::string folder = u8"Библиотека";
    const std::string output = u8"Čitaonica.txt";
    WriteDatabase(db, Dir() / fs::u8path(folder) / "cds.mst",
                  Dir() / fs::u8path(folder) / "cds.xrf");
    const ExportRun run = Run({folder + "/cds", "-o", output});
    ExpectClean(run);
    EXPECT_SAME_TEXT(ReadFile(Dir() / fs::u8path(output)), db.ExpectedOutput());
}

#ifdef _WIN32
TEST_F(CommandLineExportTest, FileHeldWithoutSharingIsInUse) {
    WriteDatabase(ThreeRecords(), Dir() / "ths.mst", Dir() / "ths.xrf");
    std::FILE* held = _fsopen((Dir() / "ths.mst").string().c_str(), "rb", _SH_DENYRW);
    ASSERT_NE(held, nullptr);
    const ExportRun run = Run({"-o", "out.txt"});
    std::fclose(held);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.stderrText.find("ths.mst: in use by another program"), std::string::npos)
        << run.stderrText;
}
#endif

}  // namespace
