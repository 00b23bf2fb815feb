// The ISO 2709 export, end to end: whole files against the writer's own ISO
// form for each terminator and line end, and what ISO 2709 cannot hold, read
// back by the program's reader. Iso2709InputTest reads every test database's
// export back through the program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "IsoReader.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

// The ISO export of `db`, with `options` after --format=iso2709.
ExportRun ExportIso(const DatabaseWriter& db, std::vector<std::string> options = {}) {
    TempDir dir;
    db.WriteTo(dir.path());
    options.insert(options.begin(), {"--format=iso2709", "-o", "-"});
    return RunExport(dir.path(), options);
}

TEST(Iso2709Export, TheRecordOfTheExample) {
    DatabaseWriter db;
    db.Add({{{24, "Soil"}, {70, "Slatyer, R.O."}}});
    const ExportRun run = ExportIso(db);
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_SAME_TEXT(run.stdoutText,
                     "00069000000000049000450002400050000007000140000"
                     "5\x1eSoil\x1eSlatyer, R.O.\x1e\x1d\r\n");
}

TEST(Iso2709Export, WholeFilesForEachTerminatorAndLineEnd) {
    DatabaseWriter db;
    db.Add({{{24, "Soil moisture and plant growth"}, {70, "Slatyer, R.O."}, {70, "Franco"}}});
    db.Add({});  // no fields: no record
    db.Delete(db.Add({{{1, "deleted"}}}));
    db.AddUnwritten();
    db.Add({{{0, ""}, {999, std::string(300, 'v')}, {5, std::string("zero\0cut", 8)}}});
    db.Add({{{1, "tab\tand other controls \x01\x1f"}, {2, "line\r\nfeed"}}});
    db.Add({{{10, std::string(80 - 24 - 12 - 1 - 1 - 1, 'x')}}});   // exactly 80 bytes
    db.Add({{{11, std::string(160 - 24 - 12 - 1 - 1 - 1, 'y')}}});  // exactly 160
    struct Case {
        std::vector<std::string> options;
        char fieldEnd;
        char recordEnd;
        std::string lineEnd;
    };
    const Case cases[] = {
        {{}, '\x1e', '\x1d', "\r\n"},
        {{"--iso-delimiters=hash"}, '#', '#', "\r\n"},
        {{"--iso-line-end=lf"}, '\x1e', '\x1d', "\n"},
        {{"--iso-line-end=none", "--iso-delimiters=hash"}, '#', '#', ""},
        {{"--iso-line-end", "crlf", "--iso-delimiters", "control"}, '\x1e', '\x1d', "\r\n"},
    };
    for (const Case& c : cases) {
        const ExportRun run = ExportIso(db, c.options);
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_SAME_TEXT(run.stdoutText, db.ExpectedIso2709(c.fieldEnd, c.recordEnd, c.lineEnd))
            << ::testing::PrintToString(c.options);
    }
}

// Each is left out with a message, never cut short: tags outside 0 to 999,
// values over 9,998 bytes, records over 99,999 bytes, records with nothing left.
TEST(Iso2709Export, WhatIsoCannotHoldIsLeftOutAndSaid) {
    DatabaseWriter db;
    db.Add({{{-5, "negative"}, {24, "kept"}, {1000, "too large"}, {25, std::string(9999, 'L')}}});
    db.Add({{{-1, "nothing"}, {4000, "left"}}});
    // Eleven overlapping values of 9,998 bytes: 110,147 bytes in ISO 2709.
    const std::vector<RawEntry> entries(11, RawEntry{30, 0, 9998});
    db.AddRaw(RawRecord(18 + 66 + 9998, 18 + 66, 11, entries, std::string(9998, 'o')));
    db.Add({{{26, std::string(9998, 'M')}}});  // the longest value that fits
    const ExportRun run = ExportIso(db);
    EXPECT_EQ(run.exitCode, 1);
    for (const char* said : {"MFN 1: field with tag -5 left out: ISO 2709 tags run from 0 to 999",
                             "MFN 1: field with tag 1000 left out",
                             "MFN 1: field with tag 25 left out: its 9999 bytes",
                             "MFN 2: record left out: ISO 2709 can hold none of its fields",
                             "MFN 3: record left out: its 110147 bytes"}) {
        EXPECT_NE(run.stderrText.find(said), std::string::npos) << said << "\n" << run.stderrText;
    }
    const auto records = ReadIso2709(run.stdoutText);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (std::vector<Field>{{24, "kept"}}));
    EXPECT_EQ(records[1], (std::vector<Field>{{26, std::string(9998, 'M')}}));
}

// A value that holds a byte the export writes as a terminator is written as
// stored, which the directory's lengths keep right, and said once a record
// (the first such field), within the cap on messages of a kind.
TEST(Iso2709Export, TerminatorsInValuesAreKeptAndSaidOnceARecord) {
    const std::string fieldEnd = "0x1E, the ISO 2709 field terminator";
    const std::string hash = "--iso-delimiters=hash";
    struct Case {
        std::string value;
        std::vector<std::string> options;
        std::string holds;  // what the message says the value holds, if anything
    };
    const Case cases[] = {
        {"a\x1e-b", {}, fieldEnd},
        {std::string(40, 'x') + "\x1d", {}, "0x1D, the ISO 2709 record terminator"},
        {"C# and F#", {hash}, "'#', the ISO 2709 terminator of --iso-delimiters=hash"},
        {"\x82t\xe9 \x1e", {"-e", "cp850"}, fieldEnd},
        {"C# and F#", {"--iso-delimiters=control"}, ""},
        {"a\x1e\x1d-b", {hash}, ""},
        {std::string(15, 'x') + "\x1f\x1c", {}, ""},
    };
    for (const Case& c : cases) {
        DatabaseWriter db;
        db.Add({{{24, "plain"}, {30, c.value}, {31, c.value}}});
        const ExportRun run = ExportIso(db, c.options);
        const std::string shown = ::testing::PrintToString(c.value);
        EXPECT_EQ(run.exitCode, c.holds.empty() ? 0 : 1) << shown;
        const std::string said = "mstexport: ths.mst: MFN 1: field with tag 30 holds " + c.holds +
                                 "; written as stored, which readers that split on terminators "
                                 "will misread\n";
        EXPECT_EQ(run.stderrText, c.holds.empty() ? "" : said) << shown;
        const bool hashed = !c.options.empty() && c.options[0] == hash;
        if (c.options.empty() || c.options[0] != "-e") {
            EXPECT_SAME_TEXT(run.stdoutText,
                             db.ExpectedIso2709(hashed ? '#' : '\x1e', hashed ? '#' : '\x1d'))
                << shown;
        }
    }
    DatabaseWriter db;
    for (int i = 0; i < 25; ++i) {
        db.Add({{{30, "\x1d"}, {40, "\x1e"}}});
    }
    const ExportRun run = ExportIso(db);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.stderrText.find("\nmstexport: ths.mst: MFN 20: field with tag 30 holds 0x1D"),
              std::string::npos)
        << run.stderrText;
    EXPECT_NE(run.stderrText.find("\nmstexport: ths.mst: 5 more records with a value that holds an "
                                  "ISO 2709 terminator, written as stored (MFN 21 to 25), not "
                                  "listed one by one\n"),
              std::string::npos)
        << run.stderrText;
    EXPECT_EQ(run.stderrText.find("MFN 21: "), std::string::npos) << run.stderrText;
    EXPECT_EQ(ReadIso2709(run.stdoutText).size(), 25u);
}

}  // namespace
