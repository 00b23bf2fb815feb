// The JSON Lines export, end to end: every line parsed by a real JSON parser
// and compared with the records the writer was given.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "SeedDatabases.hpp"
#include "TempDir.hpp"

namespace {

ExportRun ExportJson(const DatabaseWriter& db, std::vector<std::string> options = {}) {
    TempDir dir;
    db.WriteTo(dir.path());
    options.insert(options.begin(), {"--format=jsonl", "-o", "-"});
    return RunExport(dir.path(), options);
}

// Parses every line and checks it against the stored records of `db`, in
// MFN order; records not stored have no line.
void ExpectRecordsOf(const DatabaseWriter& db, const std::string& output) {
    ASSERT_TRUE(output.empty() || output.back() == '\n');
    const std::vector<std::string> lines = TextLines(output);
    std::size_t line = 0;
    for (std::int32_t mfn = 1; mfn <= db.LastMfn(); ++mfn) {
        if (!db.Stored(mfn)) {
            continue;
        }
        ASSERT_LT(line, lines.size()) << "no line for MFN " << mfn;
        const nlohmann::json object = nlohmann::json::parse(lines[line++]);
        EXPECT_EQ(object.at("mfn"), mfn);
        std::vector<Field> fields;
        for (const auto& field : object.at("fields")) {
            fields.push_back(
                {field.at("tag").get<std::int16_t>(), field.at("value").get<std::string>()});
        }
        EXPECT_EQ(fields, db.ExpectedFields(mfn)) << "MFN " << mfn;
    }
    EXPECT_EQ(line, lines.size());
}

TEST(JsonLinesExport, TheLayoutOfTheExample) {
    DatabaseWriter db;
    db.Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}}});
    db.Delete(db.Add({{{1, "gone"}}}));
    db.AddUnwritten();
    db.Add({});
    const ExportRun run = ExportJson(db);
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_SAME_TEXT(run.stdoutText,
                     "{\"mfn\":1,\"fields\":[{\"tag\":24,\"value\":\"Soil moisture\"},"
                     "{\"tag\":70,\"value\":\"Slatyer, R.O.\"}]}\n"
                     "{\"mfn\":4,\"fields\":[]}\n");
}

TEST(JsonLinesExport, EveryValueParsesBackExactly) {
    std::string controls;
    for (char c = 1; c < 0x20; ++c) {
        controls += c;
    }
    DatabaseWriter db;
    db.Add({{{1, "quote \" and backslash \\ and slash /"},
             {2, "line\nfeed\r\n\ttab"},
             {3, controls + "\x7f"},
             {-5, u8"Hollerwöger, opća, Библиотека, 𝄞"},
             {3, ""},
             {4, std::string("cut\0here", 8)}}});
    db.Add({{{10, std::string(5000, 'x') + "\"" + std::string(3, '\x01')}}});
    const ExportRun run = ExportJson(db);
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    ExpectRecordsOf(db, run.stdoutText);
    EXPECT_NE(run.stdoutText.find("\\u0001"), std::string::npos);  // escaped, not raw
}

TEST(JsonLinesExport, SeedDatabasesParseBack) {
    for (const auto& [name, db] : SeedDatabases()) {
        if (name == "damaged" || name == "claims-more") {
            continue;  // their records are not what the writer was told
        }
        const ExportRun run = ExportJson(db);
        EXPECT_EQ(run.exitCode, 0) << name << ": " << run.stderrText;
        ExpectRecordsOf(db, run.stdoutText);
    }
}

TEST(JsonLinesExport, BytesThatAreNotUtf8) {
    DatabaseWriter db;
    db.Add({{{100, "Hollerw\x94ger"}, {200, "fine"}}});
    ExportRun run = ExportJson(db);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(TextLines(run.stdoutText).at(0),
              u8"{\"mfn\":1,\"fields\":[{\"tag\":100,\"value\":\"Hollerw\uFFFDger\"},"
              "{\"tag\":200,\"value\":\"fine\"}]}");
    EXPECT_NE(run.stderrText.find("MFN 1: field with tag 100 is not valid UTF-8 (byte 0x94)"),
              std::string::npos)
        << run.stderrText;
    EXPECT_NE(run.stderrText.find("--encoding"), std::string::npos);

    run = ExportJson(db, {"--encoding=cp850"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(nlohmann::json::parse(TextLines(run.stdoutText).at(0))["fields"][0]["value"],
              u8"Hollerwöger");
}

TEST(JsonLinesExport, DamagedRecordsAsInTheTaggedExport) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    db.AddRaw(RawRecord(40, 30, 1, {{2, 0, 5}}, "abcdefghijklmnopqrstuv"));  // BASE != 24
    db.AddRaw(RawRecord(18 + 12 + 4, 18 + 12, 2, {{7, 0, 2}, {8, 3, 9}}, "abcd"));
    const ExportRun run = ExportJson(db);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_SAME_TEXT(run.stdoutText,
                     "{\"mfn\":1,\"fields\":[{\"tag\":1,\"value\":\"first\"}]}\n"
                     "{\"mfn\":2,\"fields\":[]}\n"
                     "{\"mfn\":3,\"fields\":[{\"tag\":7,\"value\":\"ab\"}]}\n");
    EXPECT_NE(run.stderrText.find("MFN 2: inconsistent leader"), std::string::npos);
    EXPECT_NE(run.stderrText.find("MFN 3: field with tag 8 lies outside"), std::string::npos);
}

}  // namespace
