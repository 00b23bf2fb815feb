// ISO 2709 files as input, end to end through the program: every test
// database's ISO 2709 export read back in every output format gives the
// master file's records, damaged and odd files give their messages, and the
// command line reads ISO 2709 files as it reads master files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "DatabaseWriter.hpp"
#include "ExampleDatabase.hpp"
#include "FieldTable.hpp"
#include "LayoutVariants.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "SeedDatabases.hpp"
#include "TempDir.hpp"

namespace {

namespace fs = std::filesystem;

// A record as an export shows it: its MFN and its fields.
struct Shown {
    std::int32_t mfn;
    std::vector<Field> fields;
};

bool operator==(const Shown& a, const Shown& b) {
    return a.mfn == b.mfn && a.fields == b.fields;
}

void PrintTo(const Shown& record, std::ostream* out) {
    *out << "MFN " << record.mfn << ":";
    for (const Field& field : record.fields) {
        *out << " " << field.tag << "=" << ::testing::PrintToString(field.value);
    }
}

// The records of a JSON Lines export: each field's value, or, `whole`, all
// that the export says of the field but its tag (its name, its subfields),
// as JSON.
std::vector<Shown> ParseJsonLines(const std::string& text, bool whole = false) {
    std::vector<Shown> records;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const nlohmann::json object = nlohmann::json::parse(text.substr(at, end - at));
        records.push_back({object.at("mfn").get<std::int32_t>(), {}});
        for (nlohmann::json field : object.at("fields")) {
            const auto tag = field.at("tag").get<std::int16_t>();
            field.erase("tag");
            records.back().fields.push_back(
                {tag, whole ? field.dump() : field.at("value").get<std::string>()});
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return records;
}

// The tagged export of `records`.
std::string Tagged(const std::vector<Shown>& records) {
    std::string text;
    for (const Shown& record : records) {
        text += "[RECORD " + std::to_string(record.mfn) + "]\n";
        for (const Field& field : record.fields) {
            const std::string tag = std::to_string(field.tag);
            text += "<" + tag + ">" + field.value + "</" + tag + ">\n";
        }
        text += "\n\n";
    }
    return text;
}

// What an ISO 2709 export of the master file's records holds, as reading it
// numbers them: the records left with a field once the fields ISO 2709
// cannot hold are left out (tags outside 0 to 999, values over 9,998 bytes;
// the test databases' long values are ASCII, so a JSON value's length is
// the stored one), renumbered 1, 2, ... in MFN order. This is what accounts
// for deleted records, MFNs never written and records without fields: they
// have no ISO 2709 record, so the records after them move up. `shown`, when
// given, is another export of the same records (ParseJsonLines' whole
// fields), whose fields are taken in place of `master`'s.
std::vector<Shown> AsIsoNumbersThem(const std::vector<Shown>& master,
                                    const std::vector<Shown>* shown = nullptr) {
    std::vector<Shown> records;
    for (std::size_t r = 0; r < master.size(); ++r) {
        std::vector<Field> fields;
        for (std::size_t f = 0; f < master[r].fields.size(); ++f) {
            const Field& field = master[r].fields[f];
            if (field.tag >= 0 && field.tag <= 999 && field.value.size() <= 9998) {
                fields.push_back(shown != nullptr ? shown->at(r).fields.at(f) : field);
            }
        }
        if (!fields.empty()) {
            records.push_back({static_cast<std::int32_t>(records.size() + 1), fields});
        }
    }
    return records;
}

// The CSV export of `records` without a field definition table: a column
// per tag, in ascending order, the values of a repeated tag joined by '|'.
std::string Csv(const std::vector<Shown>& records) {
    std::vector<std::int16_t> tags;
    for (const Shown& record : records) {
        for (const Field& field : record.fields) {
            tags.push_back(field.tag);
        }
    }
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    const auto cell = [](const std::string& text) {
        if (text.find_first_of(",\"\r\n") == std::string::npos) {
            return text;
        }
        std::string quoted = "\"";
        for (const char c : text) {
            quoted += c == '"' ? "\"\"" : std::string(1, c);
        }
        return quoted + "\"";
    };
    std::string text = "mfn";
    for (const std::int16_t tag : tags) {
        text += "," + std::to_string(tag);
    }
    text += "\r\n";
    for (const Shown& record : records) {
        text += std::to_string(record.mfn);
        for (const std::int16_t tag : tags) {
            std::string joined;
            bool first = true;
            for (const Field& field : record.fields) {
                if (field.tag == tag) {
                    joined += (first ? "" : "|") + field.value;
                    first = false;
                }
            }
            text += "," + cell(joined);
        }
        text += "\r\n";
    }
    return text;
}

// Values with line end bytes of their own at and around the record's
// 80-byte line boundaries, values that end a line exactly, and what ISO 2709
// leaves out.
DatabaseWriter LineBoundaryDatabase() {
    DatabaseWriter db;
    // First, as it helps decide the variant: CR LF at record bytes 80 and 81,
    // where a file of CR LF lines has its first line end.
    db.Add({{{1, std::string(80 - 37, 'a') + "\r\n" + "b"}}});
    db.Add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}}});
    db.Add({});
    db.Delete(db.Add({{{1, "deleted"}}}));
    db.AddUnwritten();
    db.Add({{{-5, "negative"}, {1000, "too large"}, {26, std::string(9999, 'L')}, {3, "kept"}}});
    db.Add({{{-1, "nothing ISO 2709 can hold"}}});
    db.Add({{{5, std::string("zero\0cut", 8)}, {6, "terminators \x1e\x1d# inside"}}});
    // A record of one field has its value from byte 37 on: after the
    // leader, one directory entry and the directory's terminator.
    for (const std::string breakBytes : {"\r", "\n", "\r\n"}) {
        for (std::size_t at = 77; at <= 82; ++at) {
            // `breakBytes` at record bytes `at` and `at` + 80.
            db.Add({{{1, std::string(at - 37, 'a') + breakBytes +
                             std::string(80 - breakBytes.size(), 'b') + breakBytes + "end"}}});
        }
    }
    db.Add({{{10, std::string(80 - 37 - 2, 'x')}}});   // a record of one whole line
    db.Add({{{10, std::string(160 - 37 - 2, 'y')}}});  // and of two
    // Two entries: values from byte 49 on; the second value is line 2, whole.
    db.Add({{{11, std::string(30, 'p')}, {12, std::string(80, 'q')}}});
    return db;
}

// An ISO 2709 export several times the reader's 256 KiB buffer, whose
// records lie across its ends, with the longest record ISO 2709 allows but
// for 1,000 bytes (in FFI records, as a standard one holds 32,767 bytes).
DatabaseWriter SeveralBuffersDatabase() {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    for (int i = 1; i <= 400; ++i) {
        db.Add({{{1, std::string(static_cast<std::size_t>(i * 37 % 1500), 'v')},
                 {2, std::to_string(i)},
                 {3, std::string(static_cast<std::size_t>(i * 101 % 2000), 'w')}}});
    }
    db.Add({std::vector<Field>(11, Field{9, std::string(9000, 'x')})});
    db.Add({{{1, "after the longest"}}});
    return db;
}

// Every test database: the fuzzer's seeds but the damaged ones, whose
// records are not what the writer was told, and the empty one, whose ISO
// 2709 export holds nothing to read back; the example, the databases
// above, and the master file layouts; and the sample database beside the
// project, when it is there. Each is made only when its test runs.
std::vector<std::string> TestDatabaseNames() {
    std::vector<std::string> names;
    for (const auto& seed : SeedDatabases()) {
        if (seed.first != "damaged" && seed.first != "claims-more" && seed.first != "empty") {
            names.push_back(seed.first);
        }
    }
    for (const char* name : {"example", "line-boundaries", "several-buffers", "sample"}) {
        names.emplace_back(name);
    }
    for (const Variant& variant : LayoutVariants()) {
        names.push_back(std::string("layout-") + variant.name);
    }
    return names;
}

// Writes the test database `name` into `directory`; false when it is not there.
bool WriteTestDatabase(const std::string& name, const fs::path& directory) {
    if (name == "sample") {
        const fs::path sample = MSTEXPORT_SAMPLES;
        if (!fs::exists(sample / "ths.mst")) {
            return false;
        }
        fs::copy_file(sample / "ths.mst", directory / "ths.mst");
        fs::copy_file(sample / "ths.xrf", directory / "ths.xrf");
        return true;
    }
    if (name == "example") {
        ExampleDatabase().WriteTo(directory);
    } else if (name == "line-boundaries") {
        LineBoundaryDatabase().WriteTo(directory);
    } else if (name == "several-buffers") {
        SeveralBuffersDatabase().WriteTo(directory);
    }
    for (const Variant& variant : LayoutVariants()) {
        if (name == std::string("layout-") + variant.name) {
            History(variant).WriteTo(directory);
        }
    }
    for (const auto& [seed, db] : SeedDatabases()) {
        if (name == seed) {
            db.WriteTo(directory);
        }
    }
    return true;
}

class IsoRoundTrip : public ::testing::TestWithParam<std::string> {};

// The database is exported to ISO 2709 with each terminator and line end;
// that file is read back with `mstexport FILE.iso` in every format and
// compared with the master file's export: its JSON Lines export, records
// renumbered (AsIsoNumbersThem), is what the JSON Lines and the tagged
// exports of the ISO 2709 file must show, and its ISO 2709 export, which
// holds no MFN, is the file's own bytes. Values are read as ISO 8859-1, so
// that every byte stays one character in JSON, as stored.
TEST_P(IsoRoundTrip, EveryFormatGivesTheMasterFilesRecords) {
    TempDir dir;
    if (!WriteTestDatabase(GetParam(), dir.path())) {
        GTEST_SKIP() << GetParam() << " is not there";
    }
    const std::vector<std::string> latin1 = {"-e", "iso-8859-1", "-o", "-"};
    std::vector<std::string> arguments = {"-f", "jsonl"};
    arguments.insert(arguments.end(), latin1.begin(), latin1.end());
    const ExportRun json = RunExport(dir.path(), arguments);
    ASSERT_EQ(json.exitCode, 0) << json.stderrText;
    const std::vector<Shown> master = ParseJsonLines(json.stdoutText);
    const std::vector<Shown> expected = AsIsoNumbersThem(master);
    ASSERT_FALSE(expected.empty()) << "no record ISO 2709 can hold";
    // JSON Lines with subfields, and with the names of a field definition
    // table, compared whole with the master file's.
    WriteFile(dir.path() / "names.fdt",
              FieldTableText({{"Title", "", 24}, {"Author", "", 70, 30, 0, true}, {"One", "", 1}}));
    const std::vector<std::vector<std::string>> namedRuns = {{"--subfields", "--no-fdt"},
                                                             {"--fdt=names.fdt"}};
    std::vector<std::vector<Shown>> namedExpected;
    for (const std::vector<std::string>& named : namedRuns) {
        arguments = {"-f", "jsonl"};
        arguments.insert(arguments.end(), named.begin(), named.end());
        arguments.insert(arguments.end(), latin1.begin(), latin1.end());
        const ExportRun run = RunExport(dir.path(), arguments);
        ASSERT_EQ(run.exitCode, 0) << run.stderrText;
        const std::vector<Shown> whole = ParseJsonLines(run.stdoutText, true);
        namedExpected.push_back(AsIsoNumbersThem(master, &whole));
    }
    for (const char* delimiters : {"control", "hash"}) {
        for (const char* lineEnd : {"crlf", "lf", "none"}) {
            const std::vector<std::string> options = {std::string("--iso-delimiters=") + delimiters,
                                                      std::string("--iso-line-end=") + lineEnd};
            const std::string shown = std::string(delimiters) + ", " + lineEnd;
            arguments = {"-f", "iso2709", "-o", "export.iso"};
            arguments.insert(arguments.end(), options.begin(), options.end());
            ASSERT_LE(RunExport(dir.path(), arguments).exitCode, 1) << shown;

            arguments = {"export.iso", "-f", "jsonl"};
            arguments.insert(arguments.end(), latin1.begin(), latin1.end());
            const ExportRun backJson = RunExport(dir.path(), arguments);
            EXPECT_EQ(backJson.exitCode, 0) << shown << backJson.stderrText;
            EXPECT_EQ(ParseJsonLines(backJson.stdoutText), expected) << shown;

            arguments = {"export.iso"};
            arguments.insert(arguments.end(), latin1.begin(), latin1.end());
            const ExportRun backTagged = RunExport(dir.path(), arguments);
            EXPECT_EQ(backTagged.stderrText, "") << shown;
            EXPECT_SAME_TEXT(backTagged.stdoutText, Tagged(expected)) << shown;

            arguments = {"export.iso", "-f", "iso2709", "-o", "-"};
            arguments.insert(arguments.end(), options.begin(), options.end());
            const ExportRun backIso = RunExport(dir.path(), arguments);
            EXPECT_LE(backIso.exitCode, 1) << shown;
            EXPECT_SAME_TEXT(backIso.stdoutText, ReadFile(dir.path() / "export.iso")) << shown;

            arguments = {"export.iso", "-f", "csv"};
            arguments.insert(arguments.end(), latin1.begin(), latin1.end());
            const ExportRun backCsv = RunExport(dir.path(), arguments);
            EXPECT_EQ(backCsv.exitCode, 0) << shown << backCsv.stderrText;
            EXPECT_SAME_TEXT(backCsv.stdoutText, Csv(expected)) << shown;

            for (std::size_t i = 0; i < namedRuns.size(); ++i) {
                arguments = {"export.iso", "-f", "jsonl"};
                arguments.insert(arguments.end(), namedRuns[i].begin(), namedRuns[i].end());
                arguments.insert(arguments.end(), latin1.begin(), latin1.end());
                const ExportRun back = RunExport(dir.path(), arguments);
                EXPECT_EQ(back.exitCode, 0) << shown << back.stderrText;
                EXPECT_EQ(ParseJsonLines(back.stdoutText, true), namedExpected[i])
                    << shown << ", " << ::testing::PrintToString(namedRuns[i]);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TestDatabases, IsoRoundTrip, ::testing::ValuesIn(TestDatabaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (const char c : info.param) {
                                 name += c == '-' ? '_' : c;
                             }
                             return name;
                         });

std::string Digits(std::size_t number, std::size_t width) {
    const std::string digits = std::to_string(number);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

// Leader bytes 5 to 11 and 17 to 23, around the base address; the directory
// entry map is bytes 20 to 22.
struct IsoShape {
    char fieldEnd = '\x1e';
    char recordEnd = '\x1d';
    std::string middle = "0000000";
    std::string end = "0004500";
};

struct TagValue {
    std::string tag;
    std::string value;
};

// One record as ISO 2709 lays it out, in the shape given.
std::string IsoRecord(const std::vector<TagValue>& fields, const IsoShape& shape = {}) {
    const auto lengthDigits = static_cast<std::size_t>(shape.end[3] - '0');
    const auto startDigits = static_cast<std::size_t>(shape.end[4] - '0');
    const auto implementationBytes = static_cast<std::size_t>(shape.end[5] - '0');
    std::string directory;
    std::string data;
    for (const TagValue& field : fields) {
        directory += field.tag + Digits(field.value.size() + 1, lengthDigits) +
                     Digits(data.size(), startDigits) + std::string(implementationBytes, 'i');
        data += field.value + shape.fieldEnd;
    }
    const std::size_t base = 24 + directory.size() + 1;
    return Digits(base + data.size() + 1, 5) + shape.middle + Digits(base, 5) + shape.end +
           directory + shape.fieldEnd + data + shape.recordEnd;
}

// The record cut into lines of 80 bytes, each followed by `lineEnd`.
std::string Lines(const std::string& record, const std::string& lineEnd = "\r\n") {
    std::string lines;
    for (std::size_t at = 0; at < record.size(); at += 80) {
        lines += record.substr(at, 80) + lineEnd;
    }
    return lines;
}

// A record's bytes with `replacement` in place of those from `at` on.
std::string Replaced(std::string record, std::size_t at, const std::string& replacement) {
    return record.replace(at, replacement.size(), replacement);
}

std::vector<Field> Fields(const std::vector<TagValue>& fields) {
    std::vector<Field> converted;
    for (const TagValue& field : fields) {
        converted.push_back({static_cast<std::int16_t>(std::stoi(field.tag)), field.value});
    }
    return converted;
}

const std::vector<TagValue> kFirst = {{"024", "Soil moisture"}, {"070", "Slatyer, R.O."}};
const std::vector<TagValue> kSecond = {{"010", std::string(100, 'x')}, {"011", "after"}};
const std::vector<TagValue> kThird = {{"012", "last"}};

// A message the run must say: a line that starts with `start` and holds `part`.
struct Said {
    std::string start;
    std::string part;
};

struct OddFile {
    const char* what;
    std::string bytes;
    std::vector<Shown> records;  // a damaged record has no fields
    std::vector<Said> said;
};

// The start of the message about the damaged record at `offset`.
std::string Damaged(std::int32_t mfn, std::int64_t offset) {
    return "mstexport: records.iso: MFN " + std::to_string(mfn) + ": the record at byte " +
           std::to_string(offset) + " cannot be read: ";
}

TEST(IsoInput, DamagedAndOddFiles) {
    const std::string first = IsoRecord(kFirst);
    const std::string second = IsoRecord(kSecond);
    const std::string third = IsoRecord(kThird);
    const std::string a = Lines(first);
    const std::string b = Lines(second);
    const std::string c = Lines(third);
    const std::int64_t atB = static_cast<std::int64_t>(a.size());
    const std::int64_t atC = atB + static_cast<std::int64_t>(b.size());
    const std::int64_t atEnd = atC + static_cast<std::int64_t>(c.size());
    const Shown one{1, Fields(kFirst)};
    const Shown two{2, Fields(kSecond)};
    const Shown damagedTwo{2, {}};
    const Shown three{3, Fields(kThird)};
    const std::size_t secondLength = second.size();
    // The second field's directory entry: its start is bytes 24 + 12 + 7 to 11.
    const std::size_t secondStart = 24 + 12 + 7;
    IsoShape marc;
    marc.middle = "cam a22";
    marc.end = " a 4500";
    const std::vector<TagValue> marcFields = {
        {"001", "ocm42424242"},
        {"100",
         "1\x1f"
         "aSlatyer, R. O."},
        {"245",
         "10\x1f"
         "aSoil moisture :\x1f"
         "bplant growth /\x1f"
         "cSlatyer."},
        {"650",
         " 0\x1f"
         "aPlant-water relationships."},
    };
    // Short values: one digit holds their lengths and starts.
    const std::vector<TagValue> shortFields = {{"001", "ab"}, {"200", "cd"}, {"300", "x"}};
    std::string maps;
    for (const std::string map : {"450", "560", "452", "110", "999"}) {
        IsoShape shape;
        shape.end = "000" + map + "0";  // a field's length and start digits, implementation bytes
        maps += IsoRecord(shortFields, shape);
    }

    const OddFile files[] = {
        {"whole", a + b + c, {one, two, three}, {}},
        {"the last line end missing at the end",
         a + b + c.substr(0, c.size() - 2),
         {one, two, three},
         {}},
        {"line ends and a DOS end-of-file mark between and after the records",
         a + "\r\n" + b + c + "\r\n\n\x1a",
         {one, two, three},
         {}},
        {"lines ended by LF", Lines(first, "\n") + Lines(second, "\n"), {one, two}, {}},
        {"not cut into lines, with '#' for terminators",
         Lines(IsoRecord(kFirst, {'#', '#'}), "") + Lines(IsoRecord(kSecond, {'#', '#'}), ""),
         {one, two},
         {}},
        {"a cut record at the end",
         a + b + c.substr(0, 30),
         {one, two, {3, {}}},
         {{Damaged(3, atC), "the file ends inside the record: its leader gives " +
                                std::to_string(third.size()) +
                                " bytes, the file holds 30 from its start"}}},
        {"trailing garbage",
         a + b + c + "garbage, not a record, and longer than a leader",
         {one, two, three, {4, {}}},
         {{Damaged(4, atEnd), "its first 5 bytes are not the digits of a record length"}}},
        {"a record length 5 too short",
         a + Lines(Replaced(second, 0, Digits(secondLength - 5, 5))) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB), "is not the record terminator"}}},
        {"a directory entry past the data",
         a + Lines(Replaced(second, secondStart, "00200")) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB),
           "directory entry 2 (tag 011) reaches past the data: start 200, "
           "length 6, 107 bytes of data"}}},
        {"a field's length that is not digits",
         a + Lines(Replaced(second, 24 + 3, "01x0")) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB), "directory entry 1 (tag 010): its length or start is not digits"}}},
        {"the last digit of a field's start not a digit",
         a + Lines(Replaced(second, 24 + 12 + 11, ":")) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB), "directory entry 2 (tag 011): its length or start is not digits"}}},
        {"the record terminator missing",
         a + Lines(Replaced(second, secondLength - 1, "x")) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB), "its byte " + std::to_string(secondLength) +
                                ", the last by its leader's record length, is not the record "
                                "terminator"}}},
        {"a field terminator missing",
         a + Lines(Replaced(second, secondLength - 2, "x")) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB), "entry 2 (tag 011) does not end with a field terminator"}}},
        {"the directory's terminator missing",
         a + Lines(Replaced(second, 24 + 24, "x")) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB), "its directory does not end with a field terminator"}}},
        {"other bytes where a line end belongs",
         a + b.substr(0, 80) + "ab" + b.substr(82) + c,
         {one, damagedTwo, three},
         {{Damaged(2, atB), "no line end after its byte 80"}}},
        {"a damaged first record",
         Lines(Replaced(first, 0, "00099")) + b + c,
         {{1, {}}, {2, Fields(kSecond)}, three},
         {{Damaged(1, 0), "is not the record terminator"}}},
        {"tags that are not three digits",
         a + Lines(IsoRecord({{"LDR", "left out"}, {"245", "kept"}, {"2\x01 ", "out"}})),
         {one, {2, {{245, "kept"}}}},
         {{"mstexport: records.iso: MFN 2: field with tag \"LDR\" (record at byte " +
               std::to_string(atB) + ") left out: an ISO 2709 tag is three digits",
           ""},
          {"mstexport: records.iso: MFN 2: field with tag \"2\\x01 \"", "left out"}}},
        {"a tag that is not three digits between fields that are kept",
         IsoRecord({{"245", "before"}, {"24 ", "out"}, {"300", "after"}}),
         {{1, {{245, "before"}, {300, "after"}}}},
         {{"mstexport: records.iso: MFN 1: field with tag \"24 \"", "left out"}}},
        {"a value with a zero byte",
         IsoRecord({{"001", std::string("cut\0here", 8)}, {"002", "whole"}}),
         {{1, {{1, "cut"}, {2, "whole"}}}},
         {}},
        {"a record without fields", IsoRecord({}) + third, {{1, {}}, {2, Fields(kThird)}}, {}},
        // MARC files: the leader's indicator count and subfield code length
        // (2 and 2), and values that keep their indicators and 0x1F markers.
        {"MARC records",
         IsoRecord(marcFields, marc) + IsoRecord(marcFields, marc),
         {{1, Fields(marcFields)}, {2, Fields(marcFields)}},
         {}},
        {"directory entry maps other than 4, 5 and 0",
         maps,
         {{1, Fields(shortFields)},
          {2, Fields(shortFields)},
          {3, Fields(shortFields)},
          {4, Fields(shortFields)},
          {5, Fields(shortFields)}},
         {}},
    };
    for (const OddFile& file : files) {
        TempDir dir;
        WriteFile(dir.path() / "records.iso", file.bytes);
        const ExportRun run = RunExport(dir.path(), {"records.iso", "-o", "-"});
        EXPECT_EQ(run.exitCode, file.said.empty() ? 0 : 1) << file.what;
        EXPECT_SAME_TEXT(run.stdoutText, Tagged(file.records)) << file.what;
        const std::vector<std::string> lines = TextLines(AsText(run.stderrText));
        ASSERT_EQ(lines.size(), file.said.size()) << file.what << "\n" << run.stderrText;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].rfind(file.said[i].start, 0), 0u) << file.what << "\n" << lines[i];
            EXPECT_NE(lines[i].find(file.said[i].part), std::string::npos) << file.what << "\n"
                                                                           << lines[i];
        }
    }
}

// The command line reads an ISO 2709 file by its extension or by --input,
// counts its records for --from and --to, and never writes it. A file that
// holds no record, or is not ISO 2709 at all, is said in one line.
TEST(IsoInput, TheCommandLineAndFilesWithoutRecords) {
    TempDir dir;
    const std::string three =
        Lines(IsoRecord(kFirst)) + Lines(IsoRecord(kSecond)) + Lines(IsoRecord(kThird));
    const std::string wrongLength = Replaced(IsoRecord(kFirst), 0, "00050");
    DatabaseWriter db;
    db.Add({{{24, "Soil moisture"}}});
    for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"RECORDS.ISO", three},
             {"records.dat", three},
             {"empty.iso", ""},
             {"line-ends.iso", "\r\n\n"},
             {"master.iso", db.MasterBytes()},
             {"text.iso", "Title: Soil moisture and plant growth\nAuthor: Slatyer, R.O.\n"},
             {"base.iso",
              "00100"
              "0000000"
              "00030"
              "0004500" +
                  std::string(77, 'x')},
             {"cut.iso", IsoRecord(kFirst).substr(0, 40)},
             {"lengths.iso", wrongLength + wrongLength + wrongLength}}) {
        WriteFile(dir.path() / name, bytes);
    }
    fs::create_directory(dir.path() / "shelf.iso");
    const std::string all =
        Tagged({{1, Fields(kFirst)}, {2, Fields(kSecond)}, {3, Fields(kThird)}});
    const std::string kept = "; no records exported; out.txt was left as it was\n";
    const std::string notIso = ": not an ISO 2709 file: ";
    const std::string noLeader = notIso + "its first bytes are not an ISO 2709 leader: ";
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string output;  // on standard output
        std::string said;    // all of it, or its start
    };
    const Case cases[] = {
        {{"RECORDS.ISO", "-o", "-"}, 0, all, ""},
        {{"--input=iso2709", "records.dat", "-o", "-"}, 0, all, ""},
        {{"--input", "ISO2709", "RECORDS.ISO", "-o", "-"}, 0, all, ""},
        {{"--from=2", "--to=2", "-o", "-", "RECORDS.ISO"}, 0, Tagged({{2, Fields(kSecond)}}), ""},
        {{"--from=3", "-f", "jsonl", "-o", "-", "RECORDS.ISO"},
         0,
         "{\"mfn\":3,\"fields\":[{\"tag\":12,\"value\":\"last\"}]}\n",
         ""},
        {{"--from=4", "-o", "-", "RECORDS.ISO"},
         2,
         "",
         "mstexport: --from 4 is past the last MFN of RECORDS.ISO, 3; nothing was written\n"},
        {{"--from=4", "-o", "out.txt", "RECORDS.ISO"},
         2,
         "",
         "mstexport: --from 4 is past the last MFN of RECORDS.ISO, 3; nothing was written\n"},
        {{"RECORDS.ISO", "-o", "RECORDS.ISO"},
         2,
         "",
         "mstexport: the output RECORDS.ISO is the ISO 2709 file being exported; nothing was "
         "written\n"},
        {{"--input=master", "RECORDS.ISO", "-o", "out.txt"},
         1,
         "",
         "mstexport: cannot read RECORDS.ISO.mst: "},
        {{"shelf.iso", "-o", "out.txt"},
         1,
         "",
         "mstexport: cannot read shelf.iso: it is a folder, not a file; out.txt was left as it "
         "was\n"},
        {{"--input=iso2709", "-o", "out.txt"},
         2,
         "",
         "mstexport: --input=iso2709 needs the name of the ISO 2709 file\n"
         "Try 'mstexport --help'.\n"},
        {{"empty.iso", "-o", "out.txt"},
         1,
         "",
         "mstexport: empty.iso: an empty file, which holds no ISO 2709 record" + kept},
        {{"line-ends.iso", "-o", "out.txt"},
         1,
         "",
         "mstexport: line-ends.iso: only line ends, 3 bytes, which holds no ISO 2709 record" +
             kept},
        {{"master.iso", "-o", "out.txt"},
         1,
         "",
         "mstexport: master.iso" + noLeader +
             "its first 5 bytes are not the digits of a record length" + kept},
        {{"text.iso", "-o", "out.txt"}, 1, "", "mstexport: text.iso" + noLeader},
        {{"base.iso", "-o", "out.txt"},
         1,
         "",
         "mstexport: base.iso" + noLeader +
             "its base address leaves room for no whole number of directory entries" + kept},
        {{"cut.iso", "-o", "out.txt"},
         1,
         "",
         "mstexport: cut.iso" + notIso +
             "its one record cannot be read as ISO 2709: the file ends inside the record"},
        {{"lengths.iso", "-o", "out.txt"},
         1,
         "",
         "mstexport: lengths.iso" + notIso +
             "none of its first 3 records can be read as ISO 2709; the first: its byte 50"},
    };
    for (const Case& c : cases) {
        WriteFile(dir.path() / "out.txt", "earlier");
        const ExportRun run = RunExport(dir.path(), c.arguments);
        const std::string shown = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << shown << run.stderrText;
        EXPECT_SAME_TEXT(run.stdoutText, c.output) << shown;
        EXPECT_EQ(AsText(run.stderrText).substr(0, c.said.size()), c.said) << shown;
        EXPECT_EQ(ReadFile(dir.path() / "out.txt"), "earlier") << shown;
    }
    EXPECT_EQ(ReadFile(dir.path() / "RECORDS.ISO"), three);
}

// Damaged records before --from are read only to be counted; those of the
// range are said, at most 20 of a kind, and the rest counted. A range of
// which not one record can be read is said in one line, and leaves the output
// as it was.
TEST(IsoInput, MessagesOfTheRangeOnlyAndAtMost20OfAKind) {
    const std::string good = Lines(IsoRecord(kFirst));
    const std::string bad = Lines(Replaced(IsoRecord(kFirst), 0, "00099"));
    std::string bytes = bad + good;  // then 24 damaged records, 3 to 26, and a good one
    for (int i = 3; i <= 26; ++i) {
        bytes += bad;
    }
    bytes += good;
    TempDir dir;
    WriteFile(dir.path() / "records.iso", bytes);
    const auto goodBytes = static_cast<std::int64_t>(good.size());
    const auto badBytes = static_cast<std::int64_t>(bad.size());
    const struct {
        std::vector<std::string> arguments;
        std::size_t lines;
        std::string first;
        std::string last;
    } cases[] = {
        {{"-o", "-"},
         21,
         Damaged(1, 0),
         "mstexport: records.iso: 5 more records that cannot be read as ISO 2709 (MFN 22 to 26), "
         "not listed one by one"},
        {{"--from=2", "-o", "-"},
         21,
         Damaged(3, goodBytes + badBytes),
         "mstexport: records.iso: 4 more records that cannot be read as ISO 2709 (MFN 23 to 26), "
         "not listed one by one"},
        {{"--from=3", "--to=26", "-o", "out.txt"},
         3,
         "mstexport: records.iso: none of the 24 records of the range can be read as ISO 2709: "
         "the file may be damaged there, or not be ISO 2709; their problems are only counted "
         "below",
         "mstexport: not one record of records.iso could be read; out.txt was not created"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"records.iso"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const ExportRun run = RunExport(dir.path(), arguments);
        EXPECT_EQ(run.exitCode, 1);
        const std::vector<std::string> lines = TextLines(AsText(run.stderrText));
        ASSERT_EQ(lines.size(), c.lines) << run.stderrText;
        EXPECT_EQ(lines.front().rfind(c.first, 0), 0u) << lines.front();
        EXPECT_EQ(lines.back(), c.last);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out.txt"));
}

}  // namespace

// --info on an ISO 2709 file says the variant it found and what its records
// hold: for the ISO 2709 export of a database, its tags and code page are
// those --info finds in the master file, and its records the ones exported.
TEST(IsoInput, InfoDescribesTheFileAsItsDatabase) {
    TempDir dir;
    DatabaseWriter db;
    db.Add({{{24, "Gradska knji\247nica u na\347em gradu"}, {70, "Horvat, Ivan"}}});
    db.Add({});
    db.Add({{{24, "gone"}}});
    db.Delete(3);
    db.Add({{{24, "\237itaonica i \237asopisi, " + std::string(90, 'x')},
             {26, "^aZagreb^bNaklada^c1990"},
             {70, "Kova\237, Ana"}}});
    db.WriteTo(dir.path());
    const ExportRun master = RunExport(dir.path(), {"--info", "-f", "jsonl"});
    ASSERT_EQ(master.exitCode, 0) << master.stderrText;
    const nlohmann::json described = nlohmann::json::parse(master.stdoutText);

    struct Variant {
        const char* delimiters;
        const char* lineEnd;
        const char* ends;
        const char* lines;
    };
    for (const Variant& variant : {
             Variant{"control", "crlf", "0x1E and 0x1D", "80 bytes, ended by CR LF"},
             Variant{"control", "none", "0x1E and 0x1D", "not cut into lines"},
             Variant{"hash", "lf", "# and #", "80 bytes, ended by LF"},
         }) {
        const std::string shown = std::string(variant.delimiters) + ", " + variant.lineEnd;
        ASSERT_EQ(RunExport(dir.path(), {"-f", "iso2709", "-o", "export.iso",
                                         std::string("--iso-delimiters=") + variant.delimiters,
                                         std::string("--iso-line-end=") + variant.lineEnd})
                      .exitCode,
                  0)
            << shown;
        const ExportRun json = RunExport(dir.path(), {"--info", "export.iso", "-f", "jsonl"});
        EXPECT_EQ(json.exitCode, 0) << shown << json.stderrText;
        const nlohmann::json info = nlohmann::json::parse(json.stdoutText);
        EXPECT_EQ(info["files"],
                  nlohmann::json::array({{{"role", "ISO 2709 file"},
                                          {"name", "export.iso"},
                                          {"bytes", fs::file_size(dir.path() / "export.iso")}}}))
            << shown;
        EXPECT_EQ(info["layout"], nlohmann::json({{"record_format", "ISO 2709"},
                                                  {"field_and_record_ends", variant.ends},
                                                  {"lines", variant.lines},
                                                  {"records_with_cds_isis_leaders", 2},
                                                  {"records_with_other_leaders", 0}}))
            << shown;
        EXPECT_EQ(info["records"], nlohmann::json::parse(R"({"first_mfn": 1, "last_mfn": 2,
            "active": 2, "empty": 0, "deleted": 0, "never_written": 0, "damaged": 0})"))
            << shown;
        EXPECT_EQ(info["tags"], described["tags"]) << shown;
        EXPECT_EQ(info["code_page"], described["code_page"]) << shown;

        const ExportRun text = RunExport(dir.path(), {"--info", "export.iso"});
        EXPECT_EQ(text.exitCode, 0) << shown << text.stderrText;
        const std::vector<std::string> lines = TextLines(text.stdoutText);
        ASSERT_FALSE(lines.empty()) << shown;
        EXPECT_EQ(lines.front(), "Database export.iso");
        const auto row = [&lines](const std::string& label, const std::string& value) {
            return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                return line.rfind("  " + label + " ", 0) == 0 && line.size() >= value.size() &&
                       line.compare(line.size() - value.size(), value.size(), value) == 0 &&
                       line.find_first_not_of(' ', label.size() + 2) == line.size() - value.size();
            });
        };
        EXPECT_TRUE(row("lines", variant.lines)) << text.stdoutText;
        EXPECT_TRUE(row("field and record ends", variant.ends)) << text.stdoutText;
        EXPECT_FALSE(row("NXTMFN", "")) << text.stdoutText;
        EXPECT_EQ(lines.back(), "--encoding=cp852") << text.stdoutText;
    }

    // Records with MARC leaders are counted apart; --from and --to, the
    // records read.
    IsoShape marc;
    marc.middle = "cam a22";
    marc.end = " a 4500";
    WriteFile(dir.path() / "mixed.iso", IsoRecord(kFirst) +
                                            IsoRecord({{"245",
                                                        "10\x1f"
                                                        "aTitle"}},
                                                      marc) +
                                            IsoRecord(kThird) +
                                            IsoRecord({{"245",
                                                        "00\x1f"
                                                        "aOther"}},
                                                      marc));
    const ExportRun mixed =
        RunExport(dir.path(), {"--info", "-f", "jsonl", "--from=2", "--to=3", "mixed.iso"});
    EXPECT_EQ(mixed.exitCode, 0) << mixed.stderrText;
    const nlohmann::json layout = nlohmann::json::parse(mixed.stdoutText)["layout"];
    EXPECT_EQ(layout["records_with_cds_isis_leaders"], 1);
    EXPECT_EQ(layout["records_with_other_leaders"], 1);
}
