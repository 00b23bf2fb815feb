// Records far larger than the reader's buffer: a value of 40 MiB, and a
// record that claims 2 GiB of a sparse master file. Exported in every format,
// as stored and in a code page, their values come out whole and exact, and
// the program's memory does not grow with them: on Linux, where the peak can
// be measured, it stays within 16 MiB resident.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CharsetConversion.hpp"
#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

namespace {

using Records = std::vector<std::vector<Field>>;

// A database of `records` in the FFI layout, which holds values of any size.
DatabaseWriter Twin(const Records& records) {
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    for (const auto& fields : records) {
        db.Add({fields});
    }
    return db;
}

// Exports ths in `dir` in each format, as stored and in cp850: the tagged and
// JSON exports hold `records`, the ISO 2709 ones `isoRecords`, and `said[i]`
// is what the i-th run says.
void ExpectEveryWay(const std::filesystem::path& dir, const Records& records,
                    const Records& isoRecords, const std::vector<std::string>& said) {
    const std::vector<std::string> ways[] = {{"--format=tagged"},
                                             {"--format=jsonl"},
                                             {"--format=jsonl", "--encoding=cp850"},
                                             {"--format=iso2709"},
                                             {"--format=iso2709", "--encoding=cp850"}};
    for (std::size_t i = 0; i < said.size(); ++i) {
        std::vector<std::string> arguments = ways[i];
        arguments.insert(arguments.begin(), "ths");
        SCOPED_TRACE(::testing::PrintToString(arguments));
        ExportRun run;
#if defined(MSTEXPORT_PEAK_MEMORY) && !defined(__SANITIZE_ADDRESS__)
        if (std::string(MSTEXPORT_PROGRAM_LAUNCHER).empty()) {
            const TempDir peak;
            const std::string peakFile = (peak.path() / "kib").string();
            run = RunExport(dir, arguments, "\"" MSTEXPORT_PEAK_MEMORY "\" \"" + peakFile + "\" ");
            long kib = -1;
            std::istringstream(ReadFile(peakFile)) >> kib;
            EXPECT_GT(kib, 0);
            EXPECT_LE(kib, 16 * 1024);
        }
#endif
        if (run.exitCode == -1) {
            run = RunExport(dir, arguments);
        }
        EXPECT_EQ(run.stderrText, said[i]);
        EXPECT_EQ(run.exitCode, said[i].empty() ? 0 : 1);
        if (i == 0) {
            EXPECT_SAME_TEXT(run.output, Twin(records).ExpectedOutput());
        } else if (i >= 3) {
            EXPECT_SAME_TEXT(run.output, Twin(isoRecords).ExpectedIso2709());
        } else {
            // Each line is the record of its index, its values in UTF-8.
            const Charset& charset = i == 1 ? Charset::Utf8() : *Charset::Find("cp850");
            std::istringstream lines(run.output);
            std::string line;
            for (std::size_t mfn = 1; mfn <= records.size(); ++mfn) {
                const std::vector<Field>& fields = records[mfn - 1];
                ASSERT_TRUE(std::getline(lines, line));
                const nlohmann::json record = nlohmann::json::parse(line);
                EXPECT_EQ(record.at("mfn"), mfn);
                const nlohmann::json& json = record.at("fields");
                ASSERT_EQ(json.size(), fields.size());
                for (std::size_t f = 0; f < json.size(); ++f) {
                    EXPECT_EQ(json[f].at("tag"), fields[f].tag);
                    EXPECT_TRUE(json[f].at("value").get<std::string>() ==
                                ConvertToUtf8(charset, fields[f].value).text)
                        << "tag " << fields[f].tag;
                }
            }
            EXPECT_FALSE(std::getline(lines, line));
        }
    }
}

// 40 MiB whose UTF-8 sequences fall across every offset of the reader's
// 64 KiB pieces (a 17-byte period), with control bytes, a quote and a
// backslash for JSON and, every million bytes or so, a byte that is not
// UTF-8. It ends inside a 4-byte sequence.
TEST(LargeRecords, ValueOfFortyMebibytes) {
    const std::string period = "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n\t\"\\\x01";
    const std::size_t size = 40 * 1024 * 1024;
    std::string value;
    while (value.size() < size) {
        value += period;
    }
    value.resize(size);
    for (std::size_t at = 1000003; at < size; at += 1000003) {
        value[at] = '\xFF';
    }
    const TempDir dir;
    const Records records{
        {{1, "first"}}, {{10, "before"}, {20, value}, {30, "after"}}, {{3, "third"}}};
    Twin(records).WriteTo(dir.path());
    const std::string field = "mstexport: ths.mst: MFN 2: field with tag 20 ";
    const std::string tooLong = " bytes are more than the 9998 of an ISO 2709 field\n";
    ExpectEveryWay(
        dir.path(), records, {{{1, "first"}}, {{10, "before"}, {30, "after"}}, {{3, "third"}}},
        {"",
         field + "is not valid UTF-8 (byte 0xFF, " +
             std::to_string(ConvertToUtf8(Charset::Utf8(), value).problem.badBytes) +
             " such bytes); written with U+FFFD: give --encoding with the database's "
             "code page\n",
         "", field + "left out: its " + std::to_string(size) + tooLong,
         field + "left out: its " +
             std::to_string(ConvertToUtf8(*Charset::Find("cp850"), value).text.size()) + tooLong});
}

// MFRL 2^31 - 1: the file is that long, sparse, and its values end at their
// first zero byte, early in LENs of a gibibyte; one entry lies outside the
// data area.
TEST(LargeRecords, RecordClaimingTwoGibibytesOfASparseFile) {
    const std::int32_t mfrl = std::numeric_limits<std::int32_t>::max();
    const std::int32_t dataLength = mfrl - 22 - 10 * 4;
    const TempDir dir;
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add({{{1, "first"}}});
    db.AddRaw(RawRecord(
        mfrl, mfrl - dataLength, 4,
        {{1, 0, 5}, {2, 5, dataLength - 5}, {3, dataLength / 2, dataLength / 2}, {4, -1, 3}},
        std::string("helloworld\0", 11), 2, 0, LeaderLayout::Ffi));
    db.Add({{{3, "third"}}});  // inside the data area of MFN 2, after its zero byte
    db.WriteTo(dir.path());
    std::filesystem::resize_file(dir.path() / "ths.mst",
                                 static_cast<std::uintmax_t>(db.RecordStart(2) + mfrl));
    const Records records{{{1, "first"}}, {{1, "hello"}, {2, "world"}, {3, ""}}, {{3, "third"}}};
    ExpectEveryWay(dir.path(), records, records,
                   std::vector<std::string>(
                       5,
                       "mstexport: ths.mst: MFN 2: field with tag 4 lies outside the data area "
                       "(POS -1, LEN 3, data area " +
                           std::to_string(dataLength) + " bytes); line left out\n"));
}

}  // namespace
