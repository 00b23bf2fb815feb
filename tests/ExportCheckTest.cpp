// The rules the fuzzers check: they hold for the seed databases, they catch
// broken results, and every input in fuzz/regressions/ and
// fuzz/iso-regressions/ still passes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "DatabaseWriter.hpp"
#include "ExportCheck.hpp"
#include "FuzzInput.hpp"
#include "IsoReadCheck.hpp"
#include "SeedDatabases.hpp"
#include "TempDir.hpp"

namespace {

namespace fs = std::filesystem;

TEST(FuzzInputTest, SplitsWhatJoinMade) {
    const DatabaseFiles files{std::string(300, 'm'), std::string("x\0r\0f", 5)};
    const std::string joined = JoinFuzzInput(files);
    const DatabaseFiles split =
        SplitFuzzInput(reinterpret_cast<const std::uint8_t*>(joined.data()), joined.size());
    EXPECT_EQ(split.master, files.master);
    EXPECT_EQ(split.crossRef, files.crossRef);
}

TEST(FuzzInputTest, ShortInputsGiveShortFiles) {
    const std::uint8_t one[] = {7};
    EXPECT_EQ(SplitFuzzInput(one, 1).master, "");
    const std::uint8_t claimsMore[] = {0xFF, 0xFF, 'a', 'b'};
    const DatabaseFiles split = SplitFuzzInput(claimsMore, sizeof claimsMore);
    EXPECT_EQ(split.master, "ab");
    EXPECT_EQ(split.crossRef, "");
}

TEST(ExportCheckTest, SeedDatabasesKeepEveryRule) {
    for (const auto& [name, db] : SeedDatabases()) {
        TempDir dir;
        EXPECT_EQ(ExportAndCheck({db.MasterBytes(), db.CrossRefBytes()}, dir.path()), "") << name;
    }
}

class BrokenResultTest : public ::testing::Test {
  protected:
    BrokenResultTest() {
        db_.Add({{{10, "abc"}, {20, "x\ny"}}});
        db_.Add({});
        db_.Add({{{-3, "z"}}});
        input_ = {db_.MasterBytes(), db_.CrossRefBytes()};
        good_ = {db_.ExpectedOutput(), "", 0};
    }
    std::string Check(const ExportResult& result) const {
        return CheckExport(input_, names_, result);
    }

    DatabaseWriter db_;
    DatabaseFiles input_;
    const ExportNames names_{"m.mst", "m.xrf"};
    ExportResult good_;
};

TEST_F(BrokenResultTest, TheCorrectResultPasses) {
    EXPECT_EQ(Check(good_), "");
}

TEST_F(BrokenResultTest, StatusMustMatchTheMessages) {
    ExportResult result = good_;
    result.status = 1;
    EXPECT_NE(Check(result), "");
    result = good_;
    result.output = "[RECORD 1]\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n<-3>z</-3>\n\n\n";
    result.messages =
        "mstexport: m.mst: MFN 1: the record reaches past the end of the file; "
        "exported without fields\n";
    result.status = 1;
    EXPECT_EQ(Check(result), "");
    result.messages +=
        "mstexport: m.mst: MFN 3: field with tag 8 lies outside the data area "
        "(POS 2, LEN 2, data area 3 bytes); line left out\n"
        "mstexport: m.mst: MFN 3: field with tag 9 lies outside the data area "
        "(POS -1, LEN 0, data area 3 bytes); line left out\n";
    EXPECT_EQ(Check(result), "");
    result.status = 0;
    EXPECT_NE(Check(result), "");
}

// A record whose read fails, after entries outside its data area were
// reported, say, is left out; a value cut short by a read error keeps its line.
TEST_F(BrokenResultTest, FailedReadsLeaveTheRecordOutOrCutAValueShort) {
    for (const char* failure :
         {"the record could not be read (a read error); exported without fields",
          "the memory ran out while the record was read; exported without fields"}) {
        ExportResult result{good_.output,
                            "mstexport: m.mst: MFN 3: field with tag 8 lies outside the data area "
                            "(POS 2, LEN 2, data area 3 bytes); line left out\n"
                            "mstexport: m.mst: MFN 3: " +
                                std::string(failure) + "\n",
                            1};
        EXPECT_NE(Check(result), "") << failure;  // MFN 3 keeps its line
        result.output.replace(result.output.find("<-3>z</-3>\n"), 11, "");
        EXPECT_EQ(Check(result), "") << failure;
    }
    ExportResult result{good_.output, "", 1};
    result.output.replace(result.output.find("<10>abc"), 7, "<10>ab");
    result.messages =
        "mstexport: m.mst: MFN 1: field with tag 10 could not be read to its end (a read error); "
        "written cut short\n";
    EXPECT_EQ(Check(result), "");
}

TEST_F(BrokenResultTest, HeadersMustRunWithoutAGapToTheRightCount) {
    const std::string one = "[RECORD 1]\n<10>abc</10>\n<20>x\ny</20>\n\n\n";
    const std::string two = "[RECORD 2]\n\n\n";
    const std::string three = "[RECORD 3]\n<-3>z</-3>\n\n\n";
    for (const std::string& output :
         {one + three, one + two, one + two + three + "[RECORD 4]\n\n\n", two + one + three,
          one + two + three + "\n", std::string()}) {
        ExportResult result = good_;
        result.output = output;
        EXPECT_NE(Check(result), "") << output;
    }
}

TEST_F(BrokenResultTest, CleanRecordsHoldOnlyTagValueLines) {
    using namespace std::string_literals;
    for (const std::string& body :
         {"abc\n"s, "<10>abc</11>\n"s, "<10>abc</10>"s, "<010>abc</010>\n"s, "<-0>a</-0>\n"s,
          "<40000>a</40000>\n"s, "<10>a\0b</10>\n"s, "\n"s}) {
        ExportResult result = good_;
        result.output =
            "[RECORD 1]\n" + body + "\n\n[RECORD 2]\n\n\n" + "[RECORD 3]\n<-3>z</-3>\n\n\n";
        EXPECT_NE(Check(result), "") << body;
    }
}

TEST_F(BrokenResultTest, MessagesMustBeDocumentedAndAboutExportedRecords) {
    const std::string pastEnd =
        ": the record reaches past the end of the file; exported without fields\n";
    for (const std::string& messages :
         {std::string("mstexport: something went wrong\n"), "m.mst: MFN 2" + pastEnd,
          "mstexport: m.mst: MFN 4" + pastEnd, "mstexport: m.mst: MFN 1" + pastEnd,
          "mstexport: m.mst: MFN 2" + pastEnd + "mstexport: m.mst: MFN 2" + pastEnd,
          "mstexport: m.mst: MFN 2" + pastEnd.substr(0, pastEnd.size() - 1),
          // what they say of a record must be so
          std::string("mstexport: m.mst: MFN 2: field with tag 1 lies outside the data area (POS "
                      "1, LEN 2, data area 3 bytes); line left out\n"),
          std::string("mstexport: m.mst: MFN 2: inconsistent leader (MFRL 30, BASE 24, NVF 1); "
                      "exported without fields\n"),
          // a locked record's MFRL is negative; FFI leaders have their own sizes
          std::string("mstexport: m.mst: MFN 2: inconsistent leader (MFRL -30, BASE 24, NVF 1); "
                      "exported without fields\n"),
          std::string("mstexport: m.mst: MFN 2: inconsistent FFI leader (MFRL 40, BASE 32, NVF "
                      "1); exported without fields\n"),
          std::string("mstexport: m.mst: MFN 2: inconsistent aligned FFI leader (MFRL 36, BASE "
                      "36, NVF 1); exported without fields\n")}) {
        ExportResult result = good_;
        result.messages = messages;
        result.status = 1;
        EXPECT_NE(Check(result), "") << messages;
    }
}

TEST_F(BrokenResultTest, ACrossReferenceFileShorterThanClaimedMustBeReported) {
    input_.crossRef.resize(4 + 2 * 4);
    ExportResult result = good_;
    result.output = "[RECORD 1]\n<10>abc</10>\n<20>x\ny</20>\n\n\n[RECORD 2]\n\n\n";
    EXPECT_NE(Check(result), "");
    result.messages =
        "mstexport: m.xrf: holds pointers for MFN 1 to 2 only, but m.mst counts MFN 1 to 3; "
        "MFN 3 onwards not exported\n";
    result.status = 1;
    EXPECT_EQ(Check(result), "");
    result.output += "[RECORD 3]\n\n\n";
    EXPECT_NE(Check(result), "");
}

// The line that says no record could be read stands in place of the records'
// messages, before their counts, and only when every body is empty.
TEST(ExportCheckTest, TheLineAboutUnreadableFiles) {
    DatabaseWriter db;
    std::string empty;
    for (int mfn = 1; mfn <= 10; ++mfn) {
        db.Add({{{10, "abc"}}});
        empty += "[RECORD " + std::to_string(mfn) + "]\n\n\n";
    }
    const DatabaseFiles input{db.MasterBytes(), db.CrossRefBytes()};
    const ExportNames names{"m.mst", "m.xrf"};
    const std::string verdict =
        "mstexport: m.mst: none of the 10 records that m.xrf locates can be read: the two files "
        "may be swapped, m.mst may not be a master file, or m.xrf may belong to another "
        "database; their problems are only counted below\n";
    const std::string counts =
        "mstexport: m.mst: 10 records that reach past the end of the file (MFN 1 to 10)\n";
    EXPECT_EQ(CheckExport(input, names, {empty, verdict + counts, 1}), "");
    const ExportResult broken[] = {
        {empty,
         "mstexport: m.mst: MFN 1: the record reaches past the end of the file; exported "
         "without fields\n" +
             verdict + counts,
         1},
        {empty, verdict, 1},
        {empty, counts + verdict, 1},
        {db.ExpectedOutput(), verdict + counts, 1},
        {empty, verdict.substr(0, 30) + "3" + verdict.substr(32) + counts, 1},
    };
    for (const ExportResult& result : broken) {
        EXPECT_NE(CheckExport(input, names, result), "") << result.messages;
    }
}

std::vector<fs::path> InputsIn(const fs::path& folder) {
    std::vector<fs::path> inputs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(FuzzRegressionTest, EveryInputThatEverFailedNowPasses) {
    const std::vector<fs::path> inputs = InputsIn(MSTEXPORT_FUZZ_REGRESSIONS);
    ASSERT_FALSE(inputs.empty()) << "no inputs in " << MSTEXPORT_FUZZ_REGRESSIONS;
    for (const fs::path& path : inputs) {
        const std::string bytes = ReadFile(path);
        TempDir dir;
        EXPECT_EQ(ExportAndCheck(SplitFuzzInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                bytes.size()),
                                 dir.path()),
                  "")
            << path.filename();
    }
}

// The ISO 2709 fuzzer's seeds, each seed database's export in three
// variants, keep its rules, and so does every input it once failed on.
TEST(IsoReadCheckTest, SeedsAndRegressionsKeepEveryRule) {
    TempDir dir;
    for (const auto& [name, db] : SeedDatabases()) {
        for (const auto& [variant, iso] :
             {std::pair("control-crlf", db.ExpectedIso2709()),
              std::pair("hash-lf", db.ExpectedIso2709('#', '#', "\n")),
              std::pair("control-none", db.ExpectedIso2709('\x1E', '\x1D', ""))}) {
            const fs::path path = dir.path() / (name + "-" + variant + ".iso");
            WriteFile(path, iso);
            EXPECT_EQ(ReadIsoAndCheck(path), "") << path.filename();
        }
    }
    const std::vector<fs::path> inputs = InputsIn(MSTEXPORT_ISO_FUZZ_REGRESSIONS);
    ASSERT_FALSE(inputs.empty()) << "no inputs in " << MSTEXPORT_ISO_FUZZ_REGRESSIONS;
    for (const fs::path& path : inputs) {
        const fs::path copy = dir.path() / path.filename();
        fs::copy_file(path, copy);
        EXPECT_EQ(ReadIsoAndCheck(copy), "") << path.filename();
    }
}

}  // namespace
