// The CSV export, end to end: read back by an RFC 4180 reader of the test's
// own and compared with the records the writer was given, cell by cell.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CsvFixture.hpp"
#include "DatabaseWriter.hpp"
#include "ExampleDatabase.hpp"
#include "FieldTable.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"
#include "cli/ExportCommand.hpp"

namespace {

namespace fs = std::filesystem;

using Rows = CsvRows;

// Reads CSV as RFC 4180 has it: cells separated by commas, rows ended by CR
// LF, a cell that holds a comma, a quote, CR or LF quoted, its quotes
// doubled. Anything else fails the test.
Rows ReadCsv(const std::string& text) {
    Rows rows;
    std::vector<std::string> row;
    std::string cell;
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] == '"') {
            for (++at;;) {
                if (at >= text.size()) {
                    ADD_FAILURE() << "a quoted cell without its closing quote";
                    return rows;
                }
                if (text.compare(at, 2, "\"\"") == 0) {
                    cell += '"';
                    at += 2;
                } else if (text[at] == '"') {
                    ++at;
                    break;
                } else {
                    cell += text[at++];
                }
            }
        } else {
            const std::size_t end = std::min(text.find_first_of(",\r\n\"", at), text.size());
            cell += text.substr(at, end - at);
            at = end;
        }
        if (at < text.size() && text[at] == ',') {
            row.push_back(cell);
            cell.clear();
            ++at;
        } else if (text.compare(at, 2, "\r\n") == 0) {
            row.push_back(cell);
            rows.push_back(row);
            row.clear();
            cell.clear();
            at += 2;
        } else {
            ADD_FAILURE() << "byte " << at << " ends no cell: " << text.substr(at, 20);
            return rows;
        }
    }
    EXPECT_TRUE(row.empty() && cell.empty()) << "the last row has no CR LF";
    return rows;
}

ExportRun ExportCsv(const fs::path& dir, std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"--format=csv", "-o", "-"});
    return RunExport(dir, options);
}

TEST(CsvExport, TheExampleWithItsTable) {
    const TempDir dir;
    ExampleDatabase().WriteTo(dir.path());
    WriteFile(dir.path() / "ths.fdt", ExampleFieldTable());
    const ExportRun run = ExportCsv(dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_SAME_TEXT(
        run.stdoutText,
        "mfn,Title (24),Personal author (70),Imprint (26),Collation (30),Conference (44),"
        "Notes (50),Keywords (69)\r\n"
        "1,Techniques for the measurement of transpiration of individual plants,"
        "\"Magalhaes, A.C.|Franco, C.M.\",^aParis^bUnesco^c1965,^ap. 211-224^billus.,,,\r\n"
        "2,Soil moisture and plant growth,\"Slatyer, R.O.\",,,,,"
        "Paper on: <soil moisture><plant growth>\r\n"
        "3,,,,,,,\r\n"
        "5,Water relations of plants,,,,Proceedings of the Symposium on Plant-Water "
        "Relationships,Incl. bibl.,\r\n");
}

// Values with every byte that quoting is about, the separator among them,
// repeated tags, records not stored, a table in an order of its own.
TEST(CsvExport, EveryValueReadsBackExactly) {
    const CsvFixture fixture = MakeCsvFixture();
    const DatabaseWriter& db = fixture.db;
    const TempDir dir;
    db.WriteTo(dir.path());
    WriteFile(dir.path() / "ths.fdt", fixture.table);
    const std::vector<int>& columns = fixture.columns;
    const std::vector<std::string>& named = fixture.header;
    const std::vector<std::string> numbered = {"mfn", "-5", "3", "24", "44", "70", "300"};
    struct Way {
        std::vector<std::string> options;
        Rows rows;
    };
    const Way ways[] = {
        {{}, ExpectedCsvRows(db, named, columns)},
        {{"--repeat-separator=; "}, ExpectedCsvRows(db, named, columns, "; ")},
        {{"--repeat-separator", ", "}, ExpectedCsvRows(db, named, columns, ", ")},
        {{"--no-fdt"}, ExpectedCsvRows(db, numbered, {-5, 3, 24, 44, 70, 300})},
        {{"--csv-bom"}, ExpectedCsvRows(db, named, columns)},
    };
    for (const Way& way : ways) {
        const std::string shown = ::testing::PrintToString(way.options);
        const ExportRun run = ExportCsv(dir.path(), way.options);
        EXPECT_EQ(run.exitCode, 0) << shown << run.stderrText;
        const bool bom = run.stdoutText.rfind("\xEF\xBB\xBF", 0) == 0;
        EXPECT_EQ(bom, way.options == std::vector<std::string>{"--csv-bom"}) << shown;
        EXPECT_EQ(ReadCsv(run.stdoutText.substr(bom ? 3 : 0)), way.rows) << shown;
    }

    // Separators with quotes in them, which the shell's command line would
    // not pass on as they are; the longer doubles to more than a row's room
    // would hold for it unquoted.
    for (const std::string& separator : {std::string("\",\""), std::string(200, '"')}) {
        const CommandLine line = ParseCommandLine({(dir.path() / "ths").string(), "-f", "csv",
                                                   "--repeat-separator=" + separator, "-o",
                                                   (dir.path() / "out.csv").string()});
        ASSERT_EQ(line.error, "");
        std::FILE* messages = std::fopen((dir.path() / "messages").string().c_str(), "wb");
        ASSERT_NE(messages, nullptr);
        EXPECT_EQ(ExportDatabase(line, messages), 0);
        std::fclose(messages);
        EXPECT_EQ(ReadCsv(ReadFile(dir.path() / "out.csv")),
                  ExpectedCsvRows(db, named, columns, separator));
    }
}

// Only the tags of the records exported make columns; a damaged record has
// its row, empty, and its problem is said once, not again for the pass that
// found the columns.
TEST(CsvExport, RangesAndDamagedRecords) {
    DatabaseWriter db;
    db.Add({{{1, "only in the first"}}});
    db.AddRaw(RawRecord(40, 30, 1, {{2, 0, 5}}, "abcdefghijklmnopqrstuv"));  // BASE != 24
    db.Add({{{24, "third"}, {26, "^aParis"}}});
    const TempDir dir;
    db.WriteTo(dir.path());
    ExportRun run = ExportCsv(dir.path(), {"--from=2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadCsv(run.stdoutText),
              (Rows{{"mfn", "24", "26"}, {"2", "", ""}, {"3", "third", "^aParis"}}));
    EXPECT_EQ(run.stderrText,
              "mstexport: ths.mst: MFN 2: inconsistent leader (MFRL 40, BASE 30, NVF 1); "
              "exported without fields\n");
}

// A value larger than the reader's buffer is written a piece at a time, and
// looked at first to know whether its cell is quoted.
TEST(CsvExport, ValuesReadInPieces) {
    std::string quoted = std::string(100 * 1024, 'q');
    quoted[90 * 1024] = '"';
    const std::string plain(150 * 1024, 'p');
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add({{{1, plain}, {2, quoted}, {2, "short"}, {3, "Hollerw\x94ger"}}});
    const TempDir dir;
    db.WriteTo(dir.path());
    ExportRun run = ExportCsv(dir.path(), {"-e", "cp850"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(ReadCsv(run.stdoutText),
              (Rows{{"mfn", "1", "2", "3"}, {"1", plain, quoted + "|short", u8"Hollerwöger"}}));

    run = ExportCsv(dir.path());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(ReadCsv(run.stdoutText).at(1).at(3), "Hollerw\xEF\xBF\xBDger");
    EXPECT_EQ(run.stderrText,
              "mstexport: ths.mst: MFN 1: field with tag 3 is not valid UTF-8 (byte 0x94); "
              "written with U+FFFD: give --encoding with the database's code page\n");
}

}  // namespace
