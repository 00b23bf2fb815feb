// Records far larger than the reader's buffer: a value of 40 MiB, and a
// record that claims 2 GiB of a sparse master file. Exported in every format
// and code page, their values come out whole and exact, and the program's
// memory does not grow with them: on Linux, where the peak can be measured,
// it stays within 16 MiB resident.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CharsetConversion.hpp"
#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "TempDir.hpp"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MSTEXPORT_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define MSTEXPORT_TEST_SANITIZED 1
#endif

namespace {

constexpr long kMostResidentKib = 16 * 1024;

using Records = std::vector<std::vector<Field>>;

// How a run writes values: its format and its --encoding, if any.
struct Way {
    const char* format;
    const Charset* charset;
};

std::vector<Way> EveryRun() {
    std::vector<Way> runs;
    for (const char* format : {"tagged", "jsonl", "iso2709"}) {
        for (const Charset* charset : {static_cast<const Charset*>(nullptr), Charset::Find("cp850"),
                                       Charset::Find("utf-8")}) {
            runs.push_back({format, charset});
        }
    }
    return runs;
}

std::string NameOf(const Way& run) {
    return std::string(run.format) + (run.charset != nullptr
                                          ? std::string(" --encoding=") + run.charset->Name()
                                          : std::string());
}

ExportRun ExportIn(const std::filesystem::path& dir, const Way& run) {
    std::vector<std::string> arguments{"ths", std::string("--format=") + run.format};
    if (run.charset != nullptr) {
        arguments.push_back(std::string("--encoding=") + run.charset->Name());
    }
    const ExportRun done = RunExportMeasured(dir, arguments);
#ifndef MSTEXPORT_TEST_SANITIZED
    if (done.peakKib >= 0) {
        EXPECT_LE(done.peakKib, kMostResidentKib) << NameOf(run);
    }
#endif
    return done;
}

std::string TaggedText(const Records& records) {
    std::string text;
    for (std::size_t i = 0; i < records.size(); ++i) {
        text += "[RECORD " + std::to_string(i + 1) + "]\n";
        for (const Field& field : records[i]) {
            const std::string tag = std::to_string(field.tag);
            text += "<" + tag + ">" + field.value + "</" + tag + ">\n";
        }
        text += "\n\n";
    }
    return text;
}

// Each JSON line of `jsonl` is the record of the same index in `records`,
// whose values are UTF-8.
void ExpectJsonLines(const std::string& jsonl, const Records& records, const std::string& run) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::size_t end = jsonl.find('\n', at);
        ASSERT_NE(end, std::string::npos) << run << ": line " << i + 1;
        const auto line = nlohmann::json::parse(jsonl.begin() + static_cast<std::ptrdiff_t>(at),
                                                jsonl.begin() + static_cast<std::ptrdiff_t>(end));
        EXPECT_EQ(line.at("mfn"), i + 1) << run;
        const auto& fields = line.at("fields");
        ASSERT_EQ(fields.size(), records[i].size()) << run << ": MFN " << i + 1;
        for (std::size_t f = 0; f < fields.size(); ++f) {
            EXPECT_EQ(fields[f].at("tag"), records[i][f].tag) << run;
            EXPECT_TRUE(fields[f].at("value").get<std::string>() == records[i][f].value)
                << run << ": MFN " << i + 1 << ", tag " << records[i][f].tag;
        }
        at = end + 1;
    }
    EXPECT_EQ(at, jsonl.size()) << run;
}

// The values of `records` as a run writes them, in the tagged format or
// (`json`) in JSON: converted where the run gives a code page; in JSON
// without one, mended as UTF-8. `bad` gets the count of bytes written as
// U+FFFD in the value with `tag`.
Records AsWritten(const Records& records, const Way& run, bool json, std::int16_t tag,
                  std::size_t& bad) {
    const Charset* charset = run.charset != nullptr ? run.charset
                             : json                 ? &Charset::Utf8()
                                                    : nullptr;
    if (charset == nullptr) {
        bad = 0;
        return records;
    }
    Records written = records;
    for (auto& fields : written) {
        for (Field& field : fields) {
            Converted converted = ConvertToUtf8(*charset, field.value);
            if (field.tag == tag) {
                bad = converted.problem.badBytes;
            }
            field.value = std::move(converted.text);
        }
    }
    return written;
}

// 40 MiB whose UTF-8 sequences fall across every offset of the reader's
// 64 KiB pieces (a 17-byte period), with control bytes, a quote and a
// backslash for JSON and, every million bytes or so, a byte that is not
// UTF-8. It ends inside a 4-byte sequence.
std::string LongValue() {
    const std::string period = "abc\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n\t\"\\\x01";
    const std::size_t size = 40 * 1024 * 1024;
    std::string value;
    value.reserve(size + period.size());
    while (value.size() < size) {
        value += period;
    }
    value.resize(size);
    for (std::size_t at = 1000003; at < size; at += 1000003) {
        value[at] = '\xFF';
    }
    return value;
}

TEST(LargeRecords, ValueOfFortyMebibytes) {
    const std::string value = LongValue();
    const Records records{
        {{1, "first"}}, {{10, "before"}, {20, value}, {30, "after"}}, {{3, "third"}}};
    TempDir dir;
    {
        DatabaseWriter db;
        db.SetLeaderLayout(LeaderLayout::Ffi);
        for (const auto& fields : records) {
            db.Add({fields});
        }
        db.WriteTo(dir.path());
    }
    const std::string prefix = "mstexport: ths.mst: MFN 2: field with tag 20 ";
    for (const Way& run : EveryRun()) {
        const std::string name = NameOf(run);
        const ExportRun done = ExportIn(dir.path(), run);
        const bool utf8 = run.charset == &Charset::Utf8();
        std::size_t bad = 0;
        if (std::string(run.format) == "tagged") {
            EXPECT_SAME_TEXT(done.output, TaggedText(AsWritten(records, run, false, 20, bad)))
                << name;
            EXPECT_EQ(done.stderrText, utf8 ? prefix + "holds byte 0xFF that is not valid UTF-8 (" +
                                                  std::to_string(bad) +
                                                  " such bytes); written as U+FFFD\n"
                                            : "")
                << name;
        } else if (std::string(run.format) == "jsonl") {
            ExpectJsonLines(done.output, AsWritten(records, run, true, 20, bad), name);
            EXPECT_EQ(done.stderrText,
                      run.charset == nullptr
                          ? prefix + "is not valid UTF-8 (byte 0xFF, " + std::to_string(bad) +
                                " such bytes); written with U+FFFD: give --encoding with the "
                                "database's code page\n"
                      : utf8 ? prefix + "holds byte 0xFF that is not valid UTF-8 (" +
                                   std::to_string(bad) + " such bytes); written as U+FFFD\n"
                             : "")
                << name;
        } else {
            // ISO 2709 leaves the value out, and writes the rest.
            DatabaseWriter twin;
            twin.Add({{{1, "first"}}});
            twin.Add({{{10, "before"}, {30, "after"}}});
            twin.Add({{{3, "third"}}});
            EXPECT_SAME_TEXT(done.output, twin.ExpectedIso2709()) << name;
            const std::size_t length = run.charset != nullptr
                                           ? ConvertToUtf8(*run.charset, value).text.size()
                                           : value.size();
            EXPECT_EQ(done.stderrText, prefix + "left out: its " + std::to_string(length) +
                                           " bytes are more than the 9998 of an ISO 2709 field\n")
                << name;
        }
        EXPECT_EQ(done.exitCode, done.stderrText.empty() ? 0 : 1) << name;
    }
}

// MFRL 2^31 - 1: the file is that long, sparse, and its values end at their
// first zero byte, early in LENs of a gibibyte.
TEST(LargeRecords, RecordClaimingTwoGibibytesOfASparseFile) {
    const std::int32_t mfrl = std::numeric_limits<std::int32_t>::max();
    const std::int32_t base = 22 + 10 * 3;
    const std::int32_t dataLength = mfrl - base;
    TempDir dir;
    DatabaseWriter db;
    db.SetLeaderLayout(LeaderLayout::Ffi);
    db.Add({{{1, "first"}}});
    db.AddRaw(RawRecord(mfrl, base, 3,
                        {{1, 0, 5}, {2, 5, dataLength - 5}, {3, dataLength / 2, dataLength / 2}},
                        std::string("helloworld\0", 11), 2, 0, LeaderLayout::Ffi));
    db.Add({{{3, "third"}}});  // inside the data area of MFN 2, after its zero byte
    db.WriteTo(dir.path());
    std::filesystem::resize_file(dir.path() / "ths.mst",
                                 static_cast<std::uintmax_t>(db.RecordStart(2) + mfrl));
    const Records records{{{1, "first"}}, {{1, "hello"}, {2, "world"}, {3, ""}}, {{3, "third"}}};
    DatabaseWriter twin;
    for (const auto& fields : records) {
        twin.Add({fields});
    }
    for (const Way& run : EveryRun()) {
        const std::string name = NameOf(run);
        const ExportRun done = ExportIn(dir.path(), run);
        EXPECT_EQ(done.exitCode, 0) << name;
        EXPECT_EQ(done.stderrText, "") << name;
        if (std::string(run.format) == "tagged") {
            EXPECT_SAME_TEXT(done.output, TaggedText(records)) << name;
        } else if (std::string(run.format) == "jsonl") {
            ExpectJsonLines(done.output, records, name);
        } else {
            EXPECT_SAME_TEXT(done.output, twin.ExpectedIso2709()) << name;
        }
    }
}

}  // namespace
