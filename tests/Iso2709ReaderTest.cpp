// The ISO 2709 reader: the program's own ISO 2709 exports read back as the
// writer's fields in every variant, damaged and odd files, MARC records and
// directory entry maps other than CDS/ISIS's.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "ExampleDatabase.hpp"
#include "IsoReadCheck.hpp"
#include "RunExport.hpp"
#include "SeedDatabases.hpp"
#include "TempDir.hpp"
#include "iso2709/Iso2709Reader.hpp"

namespace {

namespace fs = std::filesystem;

// A record as the reader gave it: its fields, or none when it is damaged.
struct ReadBack {
    std::int32_t mfn;
    bool damaged;
    std::vector<Field> fields;
};

bool operator==(const ReadBack& a, const ReadBack& b) {
    return a.mfn == b.mfn && a.damaged == b.damaged && a.fields == b.fields;
}

void PrintTo(const ReadBack& record, std::ostream* out) {
    *out << "MFN " << record.mfn << (record.damaged ? " damaged" : "") << ":";
    for (const Field& field : record.fields) {
        *out << " " << field.tag << "=" << ::testing::PrintToString(field.value);
    }
}

struct FileReading {
    Iso2709Reader::Opened opened = Iso2709Reader::Opened::NotIso2709;
    std::string reason;
    IsoVariant variant;
    std::vector<ReadBack> records;
    std::vector<IsoProblem> problems;
    IsoLeader lastLeader;
};

class CollectedProblems : public IsoProblemSink {
  public:
    void Report(const IsoProblem& problem) override { problems.push_back(problem); }
    std::vector<IsoProblem> problems;
};

// Every record of the file at `path`; the file keeps every rule the fuzzer
// checks.
FileReading ReadIsoFile(const fs::path& path) {
    EXPECT_EQ(ReadIsoAndCheck(path), "");
    InputFile file;
    FileReading reading;
    if (!file.Open(path.string(), reading.reason)) {
        ADD_FAILURE() << "cannot open " << path << ": " << reading.reason;
        return reading;
    }
    Iso2709Reader reader(file);
    reading.opened = reader.Open(reading.reason);
    reading.variant = reader.Variant();
    CollectedProblems sink;
    RecordFields record;
    for (;;) {
        const Iso2709Reader::Next next = reader.ReadNext(record, &sink);
        if (next == Iso2709Reader::Next::End) {
            break;
        }
        ReadBack back{record.mfn, next == Iso2709Reader::Next::Damaged, {}};
        for (const FieldValue& field : record.fields) {
            back.fields.push_back(
                {static_cast<std::int16_t>(field.tag),
                 std::string(reinterpret_cast<const char*>(field.bytes), field.length)});
        }
        reading.records.push_back(back);
        reading.lastLeader = reader.Leader();
    }
    reading.problems = sink.problems;
    return reading;
}

FileReading ReadIsoBytes(const std::string& bytes) {
    TempDir dir;
    WriteFile(dir.path() / "records.iso", bytes);
    return ReadIsoFile(dir.path() / "records.iso");
}

// The records an ISO 2709 export of `db` holds: the stored records that have
// fields ISO 2709 can hold (tags 0 to 999, values up to 9,998 bytes), with
// those fields only, numbered 1, 2, ... in the order of their MFNs. Deleted
// records, MFNs never written and records without such fields have no
// number.
std::vector<ReadBack> ExportedRecords(const DatabaseWriter& db) {
    std::vector<ReadBack> records;
    for (std::int32_t mfn = 1; mfn <= db.LastMfn(); ++mfn) {
        std::vector<Field> fields;
        for (const Field& field : db.ExpectedFields(mfn)) {
            if (field.tag >= 0 && field.tag <= 999 && field.value.size() <= 9998) {
                fields.push_back(field);
            }
        }
        if (!fields.empty()) {
            records.push_back({static_cast<std::int32_t>(records.size() + 1), false, fields});
        }
    }
    return records;
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

struct IsoOption {
    const char* delimiters;
    const char* lineEnd;
    IsoVariant variant;
};

const IsoOption kIsoOptions[] = {
    {"control", "crlf", {IsoVariant::Terminators::Control, IsoVariant::LineEnd::CrLf}},
    {"control", "lf", {IsoVariant::Terminators::Control, IsoVariant::LineEnd::Lf}},
    {"control", "none", {IsoVariant::Terminators::Control, IsoVariant::LineEnd::None}},
    {"hash", "crlf", {IsoVariant::Terminators::Hash, IsoVariant::LineEnd::CrLf}},
    {"hash", "lf", {IsoVariant::Terminators::Hash, IsoVariant::LineEnd::Lf}},
    {"hash", "none", {IsoVariant::Terminators::Hash, IsoVariant::LineEnd::None}},
};

TEST(Iso2709Reader, ExportsOfEveryTestDatabaseReadBackInEveryVariant) {
    auto databases = SeedDatabases();
    databases.emplace_back("examples", ExampleDatabase());
    databases.emplace_back("line-boundaries", LineBoundaryDatabase());
    for (const auto& [name, db] : databases) {
        if (name == "damaged" || name == "claims-more") {
            continue;  // their records are not what the writer was told
        }
        const std::vector<ReadBack> expected = ExportedRecords(db);
        if (expected.empty()) {
            continue;
        }
        TempDir dir;
        db.WriteTo(dir.path());
        for (const IsoOption& option : kIsoOptions) {
            const ExportRun run =
                RunExport(dir.path(), {"--format=iso2709", "-o", "export.iso",
                                       std::string("--iso-delimiters=") + option.delimiters,
                                       std::string("--iso-line-end=") + option.lineEnd});
            ASSERT_LE(run.exitCode, 1) << run.stderrText;
            const std::string context = name + ", " + option.delimiters + ", " + option.lineEnd;
            const FileReading reading = ReadIsoFile(dir.path() / "export.iso");
            EXPECT_EQ(reading.opened, Iso2709Reader::Opened::Records) << context;
            EXPECT_EQ(reading.variant.terminators, option.variant.terminators) << context;
            EXPECT_EQ(reading.variant.lineEnd, option.variant.lineEnd) << context;
            EXPECT_EQ(reading.records, expected) << context;
            EXPECT_TRUE(reading.problems.empty()) << context << ": " << reading.problems[0].reason;
        }
    }
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

std::string Digits(std::size_t number, std::size_t width) {
    const std::string digits = std::to_string(number);
    return std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

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
std::string Lines(const std::string& record, const std::string& lineEnd) {
    std::string lines;
    for (std::size_t at = 0; at < record.size(); at += 80) {
        lines += record.substr(at, 80) + lineEnd;
    }
    return lines;
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

// A record's bytes with `replacement` in place of those from `at` on.
std::string Replaced(std::string record, std::size_t at, const std::string& replacement) {
    return record.replace(at, replacement.size(), replacement);
}

struct ExpectedProblem {
    IsoProblem::Kind kind;
    std::int32_t position;
    std::int64_t offset;
    std::string reason;  // a part of it
};

struct OddFile {
    const char* what;
    std::string bytes;
    std::vector<ReadBack> records;
    std::vector<ExpectedProblem> problems;
};

TEST(Iso2709Reader, DamagedAndOddFiles) {
    const std::string first = IsoRecord(kFirst);
    const std::string second = IsoRecord(kSecond);
    const std::string third = IsoRecord(kThird);
    const std::string a = Lines(first, "\r\n");
    const std::string b = Lines(second, "\r\n");
    const std::string c = Lines(third, "\r\n");
    const std::int64_t atB = static_cast<std::int64_t>(a.size());
    const std::int64_t atC = atB + static_cast<std::int64_t>(b.size());
    const std::int64_t atEnd = atC + static_cast<std::int64_t>(c.size());
    const ReadBack one{1, false, Fields(kFirst)};
    const ReadBack damagedTwo{2, true, {}};
    const ReadBack three{3, false, Fields(kThird)};
    const ReadBack longOne{1, false, Fields(kSecond)};
    const ReadBack longFour{4, false, Fields(kSecond)};
    const auto afterB = static_cast<std::int64_t>(b.size());
    const auto damage = IsoProblem::Kind::DamagedRecord;
    const std::size_t secondLength = second.size();
    // The second field's directory entry: its start is bytes 24 + 12 + 7 to 11.
    const std::size_t secondStart = 24 + 12 + 7;

    const OddFile files[] = {
        {"whole", a + b + c, {one, {2, false, Fields(kSecond)}, three}, {}},
        {"the last line end missing at the end",
         a + b + c.substr(0, c.size() - 2),
         {one, {2, false, Fields(kSecond)}, three},
         {}},
        {"line ends and a DOS end-of-file mark between and after the records",
         a + "\r\n" + b + c + "\r\n\n\x1a",
         {one, {2, false, Fields(kSecond)}, three},
         {}},
        {"a cut record at the end",
         a + b + c.substr(0, 30),
         {one, {2, false, Fields(kSecond)}, {3, true, {}}},
         {{damage, 3, atC, "the file ends inside the record"}}},
        {"trailing garbage",
         a + b + c + "garbage, not a record, and longer than a leader",
         {one, {2, false, Fields(kSecond)}, three, {4, true, {}}},
         {{damage, 4, atEnd, "its first 5 bytes are not the digits of a record length"}}},
        {"a record length 5 too long",
         a + Lines(Replaced(second, 0, Digits(secondLength + 5, 5)), "\r\n") + c,
         {one, damagedTwo, three},
         {{damage, 2, atB, "is not the record terminator"}}},
        {"a record length 5 too short",
         a + Lines(Replaced(second, 0, Digits(secondLength - 5, 5)), "\r\n") + c,
         {one, damagedTwo, three},
         {{damage, 2, atB, "is not the record terminator"}}},
        {"a directory entry past the data",
         a + Lines(Replaced(second, secondStart, "00200"), "\r\n") + c,
         {one, damagedTwo, three},
         {{damage, 2, atB,
           "directory entry 2 (tag 011) reaches past the data: start 200, length 6, 107 bytes"}}},
        {"the record terminator missing",
         a + Lines(Replaced(second, secondLength - 1, "x"), "\r\n") + c,
         {one, damagedTwo, three},
         {{damage, 2, atB, "is not the record terminator"}}},
        {"a field terminator missing",
         a + Lines(Replaced(second, secondLength - 2, "x"), "\r\n") + c,
         {one, damagedTwo, three},
         {{damage, 2, atB, "entry 2 (tag 011) does not end with a field terminator"}}},
        {"the directory's terminator missing",
         a + Lines(Replaced(second, 24 + 24, "x"), "\r\n") + c,
         {one, damagedTwo, three},
         {{damage, 2, atB, "its directory does not end with a field terminator"}}},
        // A long record first and last: only CR LF lines read the most records.
        {"a line end missing inside a record",
         b + b.substr(0, 80) + b.substr(82) + c + b,
         {longOne, damagedTwo, three, longFour},
         {{damage, 2, afterB, "is not the record terminator"}}},
        {"other bytes where a line end belongs",
         a + b.substr(0, 80) + "ab" + b.substr(82) + c,
         {one, damagedTwo, three},
         {{damage, 2, atB, "no line end after its byte 80"}}},
        {"a damaged first record",
         Lines(Replaced(first, 0, "00099"), "\r\n") + b + c,
         {{1, true, {}}, {2, false, Fields(kSecond)}, three},
         {{damage, 1, 0, "is not the record terminator"}}},
        {"a tag that is not three digits",
         a + Lines(IsoRecord({{"LDR", "left out"}, {"245", "kept"}, {"2\x01 ", "out"}}), "\r\n"),
         {one, {2, false, {{245, "kept"}}}},
         {{IsoProblem::Kind::TagNotDigits, 2, atB, "field with tag \"LDR\" left out"},
          {IsoProblem::Kind::TagNotDigits, 2, atB, "field with tag \"2\\x01 \" left out"}}},
        {"a value with a zero byte",
         IsoRecord({{"001", std::string("cut\0here", 8)}, {"002", "whole"}}),
         {{1, false, {{1, "cut"}, {2, "whole"}}}},
         {}},
        {"a record without fields",
         IsoRecord({}) + third,
         {{1, false, {}}, {2, false, Fields(kThird)}},
         {}},
    };
    for (const OddFile& file : files) {
        const FileReading reading = ReadIsoBytes(file.bytes);
        EXPECT_EQ(reading.opened, Iso2709Reader::Opened::Records) << file.what << reading.reason;
        EXPECT_EQ(reading.records, file.records) << file.what;
        ASSERT_EQ(reading.problems.size(), file.problems.size()) << file.what;
        for (std::size_t i = 0; i < file.problems.size(); ++i) {
            const IsoProblem& problem = reading.problems[i];
            EXPECT_EQ(problem.kind, file.problems[i].kind) << file.what;
            EXPECT_EQ(problem.position, file.problems[i].position) << file.what;
            EXPECT_EQ(problem.offset, file.problems[i].offset) << file.what;
            EXPECT_NE(problem.reason.find(file.problems[i].reason), std::string::npos)
                << file.what << ": " << problem.reason;
        }
    }
}

TEST(Iso2709Reader, FilesThatHoldNoRecordsOrAreNotIso2709) {
    DatabaseWriter db;
    db.Add({{{24, "Soil moisture"}}});
    const struct {
        const char* what;
        std::string bytes;
        Iso2709Reader::Opened opened;
        std::string reason;  // a part of it
    } files[] = {
        {"an empty file", "", Iso2709Reader::Opened::Empty, ""},
        {"line ends only", "\r\n\n", Iso2709Reader::Opened::Empty, ""},
        {"a master file", db.MasterBytes(), Iso2709Reader::Opened::NotIso2709,
         "its first bytes are not an ISO 2709 leader: its first 5 bytes are not the digits"},
        {"a text file", "Title: Soil moisture and plant growth\nAuthor: Slatyer, R.O.\n",
         Iso2709Reader::Opened::NotIso2709, "its first bytes are not an ISO 2709 leader"},
        {"a leader with a base address that is no directory's",
         "00100"
         "0000000"
         "00030"
         "0004500" +
             std::string(77, 'x'),
         Iso2709Reader::Opened::NotIso2709,
         "its first bytes are not an ISO 2709 leader: its base address leaves room for no whole"},
        {"one record, cut", IsoRecord(kFirst).substr(0, 40), Iso2709Reader::Opened::NotIso2709,
         "its one record cannot be read as ISO 2709: the file ends inside the record"},
        {"records whose lengths are all wrong",
         Replaced(IsoRecord(kFirst), 0, "00050") + Replaced(IsoRecord(kFirst), 0, "00050") +
             Replaced(IsoRecord(kFirst), 0, "00050"),
         Iso2709Reader::Opened::NotIso2709,
         "none of its first 3 records can be read as ISO 2709; the first: its byte 50"},
    };
    for (const auto& file : files) {
        const FileReading reading = ReadIsoBytes(file.bytes);
        EXPECT_EQ(reading.opened, file.opened) << file.what;
        EXPECT_NE(reading.reason.find(file.reason), std::string::npos)
            << file.what << ": " << reading.reason;
        EXPECT_TRUE(reading.records.empty()) << file.what;
    }
}

TEST(Iso2709Reader, MarcRecordsKeepTheirIndicatorsAndSubfieldMarkers) {
    IsoShape marc;
    marc.middle = "cam a22";
    marc.end = " a 4500";
    const std::vector<TagValue> fields = {
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
    const FileReading reading =
        ReadIsoBytes(Lines(IsoRecord(fields, marc), "") + Lines(IsoRecord(fields, marc), ""));
    EXPECT_EQ(reading.records,
              (std::vector<ReadBack>{{1, false, Fields(fields)}, {2, false, Fields(fields)}}));
    EXPECT_EQ(reading.lastLeader.indicatorCount, 2);
    EXPECT_EQ(reading.lastLeader.subfieldCodeLength, 2);
    EXPECT_TRUE(reading.problems.empty());
}

TEST(Iso2709Reader, TheDirectoryEntryMapIsTheLeaders) {
    // Short values: one digit holds their lengths and starts.
    const std::vector<TagValue> fields = {{"001", "ab"}, {"200", "cd"}, {"300", "x"}};
    // Bytes 20 to 22: the digits of a field's length and start, and the
    // bytes of the implementation part.
    for (const std::string map : {"450", "560", "452", "110", "999"}) {
        IsoShape shape;
        shape.end = "000" + map + "0";
        const FileReading reading =
            ReadIsoBytes(IsoRecord(fields, shape) + IsoRecord(kThird, shape));
        EXPECT_EQ(reading.records,
                  (std::vector<ReadBack>{{1, false, Fields(fields)}, {2, false, Fields(kThird)}}))
            << map;
        EXPECT_EQ(reading.lastLeader.EntrySize(),
                  3 + static_cast<std::size_t>(map[0] - '0' + map[1] - '0' + map[2] - '0'))
            << map;
    }
}

// What the ISO 2709 fuzzer once found, or was given to start from.
TEST(IsoFuzzRegressionTest, EveryInputKeepsTheRules) {
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(MSTEXPORT_ISO_FUZZ_REGRESSIONS)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty()) << "no inputs in " << MSTEXPORT_ISO_FUZZ_REGRESSIONS;
    for (const fs::path& path : inputs) {
        EXPECT_EQ(ReadIsoAndCheck(path), "") << path.filename();
    }
}

}  // namespace
