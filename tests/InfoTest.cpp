// mstexport --info, run as a user would: what it says of databases of every
// layout, of damaged ones and of their code page, as text and as JSON.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "FieldTable.hpp"
#include "RunExport.hpp"
#include "TempDir.hpp"
#include "charset/CodePageEvidence.hpp"
#include "export/DatabaseInfo.hpp"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Layout {
    const char* name;
    LeaderLayout leaders;  // Aligned: 20-byte leaders for the records with fields
    Endianness order;
    int shift;
    const char* recordFormat;
    const char* byteOrder;
};

const Layout kLayouts[] = {
    {"standard", LeaderLayout::Standard, Endianness::Little, 0, "standard", "little-endian"},
    {"aligned", LeaderLayout::Aligned, Endianness::Little, 0, "standard", "little-endian"},
    {"FFI", LeaderLayout::Ffi, Endianness::Little, 3, "FFI, 22-byte leaders", "little-endian"},
    {"FFI aligned", LeaderLayout::FfiAligned, Endianness::Little, 3, "FFI aligned, 24-byte leaders",
     "little-endian"},
    {"big-endian", LeaderLayout::Aligned, Endianness::Big, 0, "standard", "big-endian"},
    {"shifted", LeaderLayout::Standard, Endianness::Little, 9, "standard", "little-endian"},
};

// Six MFNs: subfields in either case, a repeated tag, a negative one, an
// empty record, a deleted one and one never written.
DatabaseWriter Shelf(const Layout& layout) {
    DatabaseWriter db;
    db.SetByteOrder(layout.order);
    db.SetPointerShift(layout.shift);
    const auto add = [&](const FixtureRecord& record) {
        db.SetLeaderLayout(record.fields.empty() && layout.leaders == LeaderLayout::Aligned
                               ? LeaderLayout::Standard
                               : layout.leaders);
        db.Add(record);
    };
    add({{{24, "Soil moisture"}, {70, "Slatyer, R.O."}, {70, "Kramer, P.J."}}});
    add({{{26, "^aParis^bUnesco^c1965"}, {30, "^Ap. 211^b9^1x^"}}});
    add({});
    add({{{24, "gone"}}});
    db.Delete(4);
    db.AddUnwritten();
    add({{{24, "Water"}, {-5, "below"}}});
    return db;
}

TEST(Info, DescribesDatabasesOfEveryLayoutAsJson) {
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        const TempDir dir;
        Shelf(layout).WriteTo(dir.path());
        const ExportRun run = RunExport(dir.path(), {"--info", "--format=jsonl", "ths"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_EQ(run.stderrText, "");
        ASSERT_EQ(TextLines(run.stdoutText).size(), 1u);
        const json info = json::parse(run.stdoutText);

        EXPECT_EQ(info["database"], "ths.mst");
        const auto file = [&dir](const char* role, const char* name) {
            return json{
                {"role", role}, {"name", name}, {"bytes", fs::file_size(dir.path() / name)}};
        };
        EXPECT_EQ(info["files"], json::array({file("master file", "ths.mst"),
                                              file("cross-reference file", "ths.xrf")}));
        const json& found = info["layout"];
        EXPECT_EQ(found["record_format"], layout.recordFormat);
        EXPECT_EQ(found["byte_order"], layout.byteOrder);
        EXPECT_EQ(found["pointer_shift"], layout.shift);
        EXPECT_EQ(found["nxtmfn"], 7);
        if (std::string(layout.recordFormat) == "standard") {
            const int aligned = layout.leaders == LeaderLayout::Aligned ? 3 : 0;
            EXPECT_EQ(found["records_with_18_byte_leaders"], 4 - aligned);
            EXPECT_EQ(found["records_with_20_byte_leaders"], aligned);
        } else {
            EXPECT_FALSE(found.contains("records_with_18_byte_leaders"));
        }
        EXPECT_EQ(info["records"], json::parse(R"({"first_mfn": 1, "last_mfn": 6, "active": 4,
            "empty": 1, "deleted": 1, "never_written": 1, "damaged": 0})"));
        EXPECT_EQ(info["problems"], json::array());
        EXPECT_EQ(info["tags"], json::parse(R"([
            {"tag": -5, "occurrences": 1, "records": 1, "longest": 5, "subfields": ""},
            {"tag": 24, "occurrences": 2, "records": 2, "longest": 13, "subfields": ""},
            {"tag": 26, "occurrences": 1, "records": 1, "longest": 21, "subfields": "abc"},
            {"tag": 30, "occurrences": 1, "records": 1, "longest": 15, "subfields": "1ab"},
            {"tag": 70, "occurrences": 2, "records": 1, "longest": 13, "subfields": ""}])"));
        const json& codePage = info["code_page"];
        EXPECT_EQ(codePage["verdict"], "ascii");
        EXPECT_EQ(codePage["bytes_above_7f"], 0);
        EXPECT_EQ(codePage["values"], 7);
        EXPECT_EQ(codePage["candidates"], json::array());
        EXPECT_TRUE(codePage["encoding"].is_null());
    }
}

// The table beside the database names the tags it defines, marks the used
// tags it lacks and lists those no record uses; --no-fdt leaves it unread.
TEST(Info, FieldDefinitionTableNamesAndMarksTheTags) {
    const TempDir dir;
    Shelf(kLayouts[0]).WriteTo(dir.path());
    WriteFile(dir.path() / "ths.fdt",
              FieldTableText({{"Title", "", 24}, {"Imprint", "abc", 26}, {"Unused", "", 99}}));

    const ExportRun run = RunExport(dir.path(), {"--info", "-f", "jsonl", "ths"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    const json info = json::parse(run.stdoutText);
    EXPECT_EQ(info["files"].back(), (json{{"role", "field definition table"},
                                          {"name", "ths.fdt"},
                                          {"bytes", fs::file_size(dir.path() / "ths.fdt")}}));
    json tags;
    for (const json& tag : info["tags"]) {
        tags.push_back({tag["tag"], tag.value("name", ""), tag["in_table"], tag["occurrences"]});
    }
    EXPECT_EQ(tags, json::parse(R"([[-5, "", false, 1], [24, "Title", true, 2],
        [26, "Imprint", true, 1], [30, "", false, 1], [70, "", false, 2],
        [99, "Unused", true, 0]])"));

    const std::vector<std::string> text =
        TextLines(RunExport(dir.path(), {"--info", "ths"}).stdoutText);
    const auto line = [&text](const std::string& start) {
        for (const std::string& each : text) {
            if (each.rfind(start, 0) == 0) {
                return each;
            }
        }
        return std::string();
    };
    EXPECT_EQ(line("   24  Title"), "   24  Title              2        2       13");
    EXPECT_EQ(line("   30  "),
              "   30                     1        1       15  ^1^a^b     not in the table");
    EXPECT_EQ(line("   99  Unused"),
              "   99  Unused             0        0        0             never used");
    const std::string unnamed = RunExport(dir.path(), {"--info", "--no-fdt", "ths"}).stdoutText;
    EXPECT_EQ(unnamed.find("ths.fdt"), std::string::npos);
    EXPECT_NE(unnamed.find("\n  tag  occurrences  records"), std::string::npos);
}

// Croatian in the DOS page cp852: ž \247, š \347, đ \320, ć \206 and č \237.
DatabaseWriter Croatian() {
    DatabaseWriter db;
    db.Add({{{24, "Gradska knji\247nica u na\347em malom gradu"}, {70, "Horvat, Ivan"}}});
    db.Add({{{24, "Knji\247nica je smje\347tena u zgradi sagra\320enoj krajem stolje\206a"}}});
    db.Add({{{24, "\237itaonica i \237asopisi"}, {26, "^aZagreb^bNaklada^c1990"}}});
    return db;
}

TEST(Info, TextEndsWithTheLikeliestCodePage) {
    const TempDir dir;
    Croatian().WriteTo(dir.path());
    ExportRun run = RunExport(dir.path(), {"--info"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_FALSE(fs::exists(dir.path() / "formatirani_izlaz.txt"));
    const std::vector<std::string> lines = TextLines(run.stdoutText);
    const auto has = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("Database ths.mst")) << run.stdoutText;
    EXPECT_TRUE(has("  master file           ths.mst  " +
                    std::to_string(fs::file_size(dir.path() / "ths.mst")) + " bytes"));
    EXPECT_TRUE(has("Records, MFN 1 to 3"));
    EXPECT_TRUE(has("  tag  occurrences  records  longest  subfields"));
    EXPECT_TRUE(has("   26            1        1       23  ^a^b^c"));
    EXPECT_TRUE(has("Bytes above 0x7F: 8, in 3 of 5 values"));
    // The words under each page, the right one first.
    const auto header = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("  cp852 ", 0) == 0;
    });
    ASSERT_NE(header, lines.end()) << run.stdoutText;
    EXPECT_EQ(header[1].rfind(u8"  knjižnica ", 0), 0u) << header[1];
    EXPECT_EQ(lines.back(), "--encoding=cp852");

    // The same as a file, in place of an earlier one.
    WriteFile(dir.path() / "info.txt", "earlier");
    const ExportRun toFile = RunExport(dir.path(), {"--info", "-o", "info.txt"});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.stderrText;
    EXPECT_EQ(toFile.stdoutText, "");
    EXPECT_EQ(ReadFile(dir.path() / "info.txt"), run.stdoutText);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);

    // The database's own files are never the output.
    run = RunExport(dir.path(), {"--info", "-o", "ths.mst"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.stderrText,
              "mstexport: the output ths.mst is the database's own master file; nothing was "
              "written\n");
    EXPECT_EQ(ReadFile(dir.path() / "ths.mst"), Croatian().MasterBytes());
}

TEST(Info, TheSampleDatabasesNeedCp850OrNoEncoding) {
    const fs::path sample = MSTEXPORT_SAMPLES;
    if (fs::exists(sample / "ths.mst")) {
        const ExportRun run = RunExport(sample, {"--info"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_NE(run.stdoutText.find(u8"  cp850      cp437      cp852\n"
                                      u8"  Problèmes  Problèmes  ProblŐmes\n"),
                  std::string::npos)
            << run.stdoutText;
        EXPECT_EQ(TextLines(run.stdoutText).back(), "--encoding=cp850");
    }
    const ExportRun run = RunExport(MSTEXPORT_EXAMPLES, {"--info"});
    EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    EXPECT_EQ(TextLines(run.stdoutText).back(), "No --encoding is needed.");
}

// Damage is said as the export says it, and counted in the description,
// which is written however little could be read.
TEST(Info, DamagedDatabases) {
    DatabaseWriter db;
    db.Add({{{1, "first"}}});
    db.AddRaw(RawRecord(40, 30, 1, {{2, 0, 5}}, "abcdefghijklmnopqrstuv"));  // BASE != 24
    db.AddRaw(RawRecord(18 + 12 + 4, 18 + 12, 2, {{7, 0, 2}, {8, 3, 9}}, "abcd"));
    for (int i = 0; i < 25; ++i) {
        db.AddPointer(5);  // no block
    }
    const TempDir dir;
    db.WriteTo(dir.path());
    const ExportRun exported = RunExport(dir.path(), {"ths", "-o", "out.txt"});
    const ExportRun text = RunExport(dir.path(), {"ths", "--info"});
    const ExportRun run = RunExport(dir.path(), {"ths", "--info", "-f", "jsonl"});
    EXPECT_EQ(exported.exitCode, 1);
    for (const ExportRun* info : {&text, &run}) {
        EXPECT_EQ(info->exitCode, 1);
        EXPECT_EQ(info->stderrText, exported.stderrText);
    }
    const json described = json::parse(run.stdoutText);
    EXPECT_EQ(described["records"]["active"], 2);
    EXPECT_EQ(described["records"]["damaged"], 26);
    EXPECT_EQ(described["problems"], json::parse(R"([
        {"what": "records whose cross-reference pointer names no master file block", "count": 25},
        {"what": "records with an inconsistent leader", "count": 1},
        {"what": "fields outside the data area, left out", "count": 1}])"));
    EXPECT_NE(text.stdoutText.find("\nProblems, as the messages count them\n"
                                   "  25  records whose cross-reference pointer names no master "
                                   "file block\n"),
              std::string::npos)
        << text.stdoutText;

    // Not one record readable: the files are said to be suspect, and still described.
    WriteFile(dir.path() / "ths.xrf",
              db.CrossRefBytes().substr(0, 4) + std::string(4 * 30, '\x05'));
    const ExportRun none = RunExport(dir.path(), {"--info", "-f", "jsonl"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.stderrText.find("can be read"), std::string::npos) << none.stderrText;
    EXPECT_EQ(json::parse(none.stdoutText)["records"]["damaged"], 28);
}

// The value of a record too large to be held, read a few bytes at a time;
// from `readable` bytes on, it cannot be read.
class Pieces final : public ValueReader, public ProblemSink {
  public:
    explicit Pieces(const std::string& value) : bytes_(value + std::string(kViewSlack, '^')) {}
    std::size_t LargestPiece() const override { return 4; }
    const unsigned char* Piece(std::int64_t position, std::size_t count) override {
        return static_cast<std::size_t>(position) + count > readable
                   ? nullptr
                   : reinterpret_cast<const unsigned char*>(bytes_.data()) + position;
    }
    void Report(const RecordProblem& problem) override { said.push_back(problem); }

    std::size_t readable = std::string::npos;
    std::vector<RecordProblem> said;

  private:
    std::string bytes_;
};

// Values of every length with '^', letters and bytes above 0x7F anywhere,
// held in memory or read in pieces: the codes after each '^' and every
// byte above 0x7F count, as a byte at a time finds them.
TEST(Info, SubfieldCodesAndBytesAbove7FWhereverTheyStand) {
    const std::string alphabet = "a^B1 \x82\xC3\xA9z";
    DatabaseInfo held;
    DatabaseInfo inPieces;
    CodePageEvidence evidence;
    std::vector<std::uint64_t> subfields;  // each value's, under a tag of its own
    std::int64_t highValues = 0;
    for (std::size_t length = 0; length <= 20; ++length) {
        for (std::size_t seed = 0; seed < 40; ++seed) {
            // A '^' at the end of the first piece, and values of every kind.
            std::string value = seed == 0 ? std::string("abc^d^EF^z").substr(0, length) : "";
            for (std::size_t i = value.size(); i < length; ++i) {
                value += alphabet[(seed * 7 + i * i * 3 + i * seed) % alphabet.size()];
            }
            highValues += value.find_first_of("\x82\xC3\xA9") != std::string::npos ? 1 : 0;
            subfields.push_back(0);
            for (std::size_t i = 0; i + 1 < value.size(); ++i) {
                const char next = value[i + 1];
                const auto code = static_cast<char>(next >= 'A' && next <= 'Z' ? next + 32 : next);
                const std::size_t bit =
                    std::string("0123456789abcdefghijklmnopqrstuvwxyz").find(code);
                subfields.back() |=
                    value[i] == '^' && bit != std::string::npos ? std::uint64_t{1} << bit : 0;
            }
            const auto tag = static_cast<std::int32_t>(subfields.size());
            Pieces pieces(value);
            RecordFields record;
            record.state = RecordFields::State::Stored;
            record.valueReader = &pieces;
            record.fields.push_back({tag, pieces.Piece(0, 0), value.size()});
            held.Add(record, pieces);
            record.fields.clear();
            record.fields.push_back({tag, nullptr, value.size(), 0});
            inPieces.Add(record, pieces);
            EXPECT_TRUE(pieces.said.empty());
            evidence.Add(pieces.Piece(0, 0), value.size());
        }
    }
    for (const DatabaseInfo* info : {&held, &inPieces}) {
        const std::vector<DatabaseInfo::TagUse> tags = info->Tags();
        ASSERT_EQ(tags.size(), subfields.size());
        for (std::size_t i = 0; i < tags.size(); ++i) {
            EXPECT_EQ(tags[i].subfields, subfields[i]) << i;
        }
        EXPECT_EQ(info->Evidence().HighBytes(), evidence.HighBytes());
        EXPECT_EQ(info->ValuesWithHighBytes(), highValues);
    }
    EXPECT_EQ(held.Evidence().Utf8Sequences(), evidence.Utf8Sequences());
    EXPECT_EQ(held.Evidence().Words().size(), evidence.Words().size());

    // A piece that cannot be read is said, with the field's MFN and tag, a tag
    // beyond the 16 bits of a master file's.
    Pieces pieces("abc^d^EF^z");
    pieces.readable = 8;
    RecordFields record;
    record.mfn = 9;
    record.state = RecordFields::State::Stored;
    record.valueReader = &pieces;
    record.fields.push_back({1000000, nullptr, 10, 0});
    DatabaseInfo info;
    info.Add(record, pieces);
    ASSERT_EQ(pieces.said.size(), 1u);
    EXPECT_EQ(pieces.said[0].kind, ProblemKind::UnreadValueDescribed);
    EXPECT_EQ(pieces.said[0].tag, 1000000);
    EXPECT_EQ(info.Tags().at(0).tag, 1000000);
    EXPECT_EQ(pieces.said[0].mfn, 9);
}

}  // namespace
