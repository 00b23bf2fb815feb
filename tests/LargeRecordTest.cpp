// Records far larger than the reader's buffer: a value of 40 MiB, and a
// record that claims 2 GiB of a sparse master file. Exported in every format,
// as stored and in a code page, their values come out whole and exact, and
// the program's memory does not grow with them: on Linux, where it can be
// bounded, the program runs within 16 MiB.
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

TEST(LargeRecords, ValueOfFortyMebibytesAndRecordOfTwoGibibytes) {
    // MFN 2: 40 MiB whose UTF-8 sequences fall across every offset of the
    // reader's 64 KiB pieces (a 17-byte period), with control bytes, a quote
    // and a backslash for JSON and, every million bytes or so, a byte that is
    // not UTF-8; it ends inside a 4-byte sequence.
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
    // MFN 3: MFRL 2^31 - 1, the file that long and sparse; its values end at
    // their first zero byte, early in LENs of a gibibyte, and one entry lies
    // outside its data area. MFN 4 lies in that data area, after the zero.
    const std::int32_t mfrl = std::numeric_limits<std::int32_t>::max();
    const std::int32_t dataLength = mfrl - 22 - 10 * 4;
    const TempDir dir;
    DatabaseWriter db = Twin({{{1, "first"}}, {{10, "before"}, {20, value}, {30, "after"}}});
    db.AddRaw(RawRecord(
        mfrl, mfrl - dataLength, 4,
        {{1, 0, 5}, {2, 5, dataLength - 5}, {3, dataLength / 2, dataLength / 2}, {4, -1, 3}},
        std::string("helloworld\0", 11), 3, 0, LeaderLayout::Ffi));
    db.Add({{{3, "third"}}});
    db.WriteTo(dir.path());
    std::filesystem::resize_file(dir.path() / "ths.mst",
                                 static_cast<std::uintmax_t>(db.RecordStart(3) + mfrl));
    Records records{{{1, "first"}},
                    {{10, "before"}, {20, value}, {30, "after"}},
                    {{1, "hello"}, {2, "world"}, {3, ""}},
                    {{3, "third"}}};
    Records isoRecords = records;
    isoRecords[1].erase(isoRecords[1].begin() + 1);

    const std::string field = "mstexport: ths.mst: MFN 2: field with tag 20 ";
    const std::string tooLong = " bytes are more than the 9998 of an ISO 2709 field\n";
    const std::string outside =
        "mstexport: ths.mst: MFN 3: field with tag 4 lies outside the data area (POS -1, LEN 3, "
        "data area " +
        std::to_string(dataLength) + " bytes); line left out\n";
    const Charset& cp850 = *Charset::Find("cp850");
    struct Way {
        std::vector<std::string> arguments;
        std::string said;  // about MFN 2
    };
    const Way ways[] = {
        {{"--format=tagged"}, ""},
        {{"--format=jsonl"},
         field + "is not valid UTF-8 (byte 0xFF, " +
             std::to_string(ConvertToUtf8(Charset::Utf8(), value).problem.badBytes) +
             " such bytes); written with U+FFFD: give --encoding with the database's code "
             "page\n"},
        {{"--format=jsonl", "--encoding=cp850"}, ""},
        {{"--format=iso2709"}, field + "left out: its " + std::to_string(size) + tooLong},
        {{"--format=iso2709", "--encoding=cp850"},
         field + "left out: its " + std::to_string(ConvertToUtf8(cp850, value).text.size()) +
             tooLong},
    };
    for (const Way& way : ways) {
        std::vector<std::string> arguments = way.arguments;
        arguments.insert(arguments.begin(), "ths");
        SCOPED_TRACE(::testing::PrintToString(arguments));
        // Where the system can bound the memory the program may write to
        // (its heap and every private mapping), at 16 MiB.
        std::string bound;
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
        bound = std::string(MSTEXPORT_PROGRAM_LAUNCHER).empty() ? "ulimit -d 16384 && " : "";
#endif
        const ExportRun run = RunExport(dir.path(), arguments, bound);
        EXPECT_EQ(run.stderrText, way.said + outside);
        EXPECT_EQ(run.exitCode, 1);
        const std::string format = way.arguments[0];
        if (format == "--format=tagged") {
            EXPECT_SAME_TEXT(run.output, Twin(records).ExpectedOutput());
        } else if (format == "--format=iso2709") {
            EXPECT_SAME_TEXT(run.output, Twin(isoRecords).ExpectedIso2709());
        } else {
            // Each line is the record of its MFN, its values in UTF-8.
            const Charset& charset = way.arguments.size() == 1 ? Charset::Utf8() : cp850;
            std::istringstream lines(run.output);
            std::string line;
            for (std::size_t mfn = 1; mfn <= records.size(); ++mfn) {
                ASSERT_TRUE(std::getline(lines, line));
                const nlohmann::json record = nlohmann::json::parse(line);
                EXPECT_EQ(record.at("mfn"), mfn);
                const nlohmann::json& fields = record.at("fields");
                ASSERT_EQ(fields.size(), records[mfn - 1].size());
                for (std::size_t f = 0; f < fields.size(); ++f) {
                    const Field& expected = records[mfn - 1][f];
                    EXPECT_EQ(fields[f].at("tag"), expected.tag);
                    EXPECT_TRUE(fields[f].at("value").get<std::string>() ==
                                ConvertToUtf8(charset, expected.value).text)
                        << "MFN " << mfn << ", tag " << expected.tag;
                }
            }
            EXPECT_FALSE(std::getline(lines, line));
        }
    }
}

}  // namespace
