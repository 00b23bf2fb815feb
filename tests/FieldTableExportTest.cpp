// The field definition table in a run: found beside the database in any
// case, or named; its names in JSON Lines; its problems said; refused as an
// output, as any of the database's files; and never read for tagged text or
// ISO 2709, whose exports do not change.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "FieldTable.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

namespace fs = std::filesystem;

DatabaseWriter TwoRecords() {
    DatabaseWriter db;
    db.Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}, {26, "^aParis^bUnesco"}}});
    db.Add({{{24, "Water"}, {90, "not in the table"}}});
    return db;
}

// A name of 30 characters whose escapes make its field's opening longer
// than most.
const std::string kLong = "Place, \"publisher\"\\ and \"year\"";
const std::string kTable =
    FieldTableText({{"Title", "", 24}, {"Say \"hi\" \\ there", "", 70}, {kLong, "abc", 26}});

// Each field's name in the JSON Lines export, "" for none, record by record.
std::vector<std::vector<std::string>> NamesIn(const std::string& output) {
    std::vector<std::vector<std::string>> records;
    for (std::size_t at = 0; at < output.size();) {
        const std::size_t end = output.find('\n', at);
        std::vector<std::string> names;
        const nlohmann::json record = nlohmann::json::parse(output.substr(at, end - at));
        for (const auto& field : record.at("fields")) {
            names.push_back(field.contains("name") ? field.at("name").get<std::string>() : "");
        }
        records.push_back(names);
        at = end + 1;
    }
    return records;
}

// Which table a run reads: the database's own in any case, --fdt's, or none.
TEST(FieldTableExport, WhichTableTheNamesComeFrom) {
    const std::vector<std::vector<std::string>> named = {{"Title", "Say \"hi\" \\ there", kLong},
                                                         {"Title", ""}};
    const std::vector<std::vector<std::string>> other = {{"", "", "Imprint"}, {"", ""}};
    const std::vector<std::vector<std::string>> none = {{"", "", ""}, {"", ""}};
    struct Row {
        std::string tableName;  // beside data/CDS.MST
        std::vector<std::string> arguments;
        std::vector<std::vector<std::string>> names;
    };
    const Row rows[] = {
        {"CDS.FDT", {}, named},
        {"cds.fdt", {}, named},
        {"Cds.Fdt", {"data/cds.mst"}, named},
        {"", {}, none},
        {"cds.fdt", {"--no-fdt"}, none},
        {"cds.fdt", {"--fdt=other.fdt"}, other},
        {"", {"--fdt", "other.fdt"}, other},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tableName + " " + ::testing::PrintToString(row.arguments));
        const TempDir dir;
        const DatabaseWriter db = TwoRecords();
        fs::create_directory(dir.path() / "data");
        WriteFile(dir.path() / "data" / "CDS.MST", db.MasterBytes());
        WriteFile(dir.path() / "data" / "CDS.XRF", db.CrossRefBytes());
        if (!row.tableName.empty()) {
            WriteFile(dir.path() / "data" / row.tableName, kTable);
        }
        WriteFile(dir.path() / "other.fdt", FieldTableText({{"Imprint", "ab", 26}}));
        std::vector<std::string> arguments = {"-f", "jsonl", "-o", "-"};
        arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
        if (row.arguments.empty() || row.arguments[0] != "data/cds.mst") {
            arguments.push_back("data/CDS");
        }
        const ExportRun run = RunExport(dir.path(), arguments);
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(NamesIn(run.stdoutText), row.names);
    }
}

// A table with lines that cannot be read: said, the rest used, the export
// whole. Tagged text and ISO 2709 do not read it, and do not change.
TEST(FieldTableExport, ATableWithProblemsAndTheFormatsThatReadNone) {
    const TempDir dir;
    const DatabaseWriter db = TwoRecords();
    db.WriteTo(dir.path());
    WriteFile(dir.path() / "ths.fdt",
              kTable + "Broken line\r\n" + FieldTableText({{"Name\x94", "", 90}}));
    ExportRun run = RunExport(dir.path(), {"-f", "jsonl", "-o", "-"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.stderrText,
              "mstexport: ths.fdt: line 4: the tag, length, type and repeatable flag after column "
              "50 are not all there; line skipped\n"
              "mstexport: ths.fdt: the name on line 5 is not valid UTF-8 (byte 0x94); written "
              "with U+FFFD: give --encoding with the database's code page\n");
    EXPECT_EQ(NamesIn(run.stdoutText),
              (std::vector<std::vector<std::string>>{{"Title", "Say \"hi\" \\ there", kLong},
                                                     {"Title", "Name\xEF\xBF\xBD"}}));

    run = RunExport(dir.path(), {"-o", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_SAME_TEXT(run.stdoutText, db.ExpectedOutput());
    run = RunExport(dir.path(), {"-f", "iso2709", "-o", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_SAME_TEXT(run.stdoutText, db.ExpectedIso2709());
    run = RunExport(dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_SAME_TEXT(run.output, db.ExpectedOutput());
}

// A table that cannot be read ends the run before the output is created;
// one that is the output is refused as the database's files are.
TEST(FieldTableExport, RunsThatTouchNoFile) {
    struct Row {
        std::vector<std::string> arguments;
        std::string make;
        int exitCode;
        std::string said;
    };
    const std::string refused =
        " is the database's own field definition table; nothing was written";
    const Row rows[] = {
        {{"-f", "jsonl", "--fdt=out.txt", "-o", "out.txt"},
         "earlier",
         2,
         "the output out.txt" + refused},
        {{"-f", "csv", "--fdt=shelf/../out.txt", "-o", "out.txt"},
         "earlier",
         2,
         "the output out.txt" + refused},
        {{"-f", "csv", "--fdt=missing.fdt", "-o", "out.txt"},
         "",
         1,
         "cannot read missing.fdt: " + std::string(std::strerror(ENOENT)) +
             "; out.txt was not created"},
        {{"-f", "jsonl", "--fdt=missing.fdt", "-o", "out.txt"},
         "earlier",
         1,
         "cannot read missing.fdt: " + std::string(std::strerror(ENOENT)) +
             "; out.txt was left as it was"},
        {{"-f", "jsonl", "--fdt=shelf", "-o", "out.txt"},
         "",
         1,
         "cannot read shelf: it is a folder, not a file; out.txt was not created"},
#ifndef _WIN32  // Windows' file names do not differ in case alone
        {{"-f", "jsonl", "-o", "out.txt"},
         "two",
         2,
         "several files in . match ths.fdt in case: THS.FDT, Ths.Fdt; rename all but one"},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.said);
        const TempDir dir;
        TwoRecords().WriteTo(dir.path());
        fs::create_directory(dir.path() / "shelf");
        if (row.make == "earlier") {
            WriteFile(dir.path() / "out.txt", "left from an earlier run");
        } else if (row.make == "two") {
            WriteFile(dir.path() / "Ths.Fdt", kTable);
            WriteFile(dir.path() / "THS.FDT", kTable);
        }
        const auto before = FilesIn(dir.path());
        std::vector<std::string> arguments = row.arguments;
        arguments.push_back(".");
        const ExportRun run = RunExport(dir.path(), arguments);
        EXPECT_EQ(run.exitCode, row.exitCode);
        EXPECT_EQ(run.stderrText, "mstexport: " + row.said + "\n");
        EXPECT_EQ(FilesIn(dir.path()), before);
    }
}

}  // namespace
