// The export run reads records through RecordSource alone: a source of
// another kind, records from a list in memory, exports in every format
// exactly as the master file that holds the same records, and its problems
// are said in its own name.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "DatabaseWriter.hpp"
#include "ListSource.hpp"
#include "TempDir.hpp"
#include "cli/ExportCommand.hpp"
#include "export/Export.hpp"
#include "iso2709/Iso2709Source.hpp"
#include "masterfile/MasterFileSource.hpp"

namespace {

struct Exported {
    int status = -1;
    std::string output;
    std::string messages;
};

Exported ExportFrom(RecordSource& source, const CommandLine& line) {
    TempDir dir;
    ExportSettings settings = line.settings;
    settings.output = (dir.path() / "out").string();
    settings.outputFirst = false;
    std::FILE* messages = std::fopen((dir.path() / "messages").string().c_str(), "w+b");
    EXPECT_NE(messages, nullptr);
    Exported exported;
    exported.status = RunExport(source, line.format, settings, messages);
    std::fclose(messages);
    exported.output = ReadFile(dir.path() / "out");
    exported.messages = ReadFile(dir.path() / "messages");
    return exported;
}

const std::vector<Field> kFirst = {{24, "Soil moisture"}, {70, "Slatyer, R.O."}, {70, "Franco"}};
const std::vector<Field> kFifth = {{-5, "caf\x82"}, {1000, "wide tag"}, {26, "^aParis^bUnesco"}};

TEST(RecordSource, AnotherSourceExportsAsTheMasterFileInEveryFormat) {
    DatabaseWriter db;
    db.Add({kFirst});
    db.Add({});
    db.AddUnwritten();
    db.Delete(db.Add({{{1, "gone"}}}));
    db.Add({kFifth});
    TempDir dir;
    db.WriteTo(dir.path());
    using State = RecordFields::State;
    const std::vector<ListSource::Entry> entries = {
        {1, State::Stored, kFirst}, {2, State::Stored, {}},     {3, State::NotStored, {}},
        {4, State::NotStored, {}},  {5, State::Stored, kFifth},
    };
    const std::vector<std::vector<std::string>> options = {
        {},
        {"-e", "cp850"},
        {"-f", "jsonl"},
        {"-f", "jsonl", "-e", "cp850"},
        {"-f", "iso2709"},
        {"-f", "iso2709", "--iso-delimiters=hash", "--iso-line-end=none", "-e", "cp850"},
        {"--from=2", "--to=4"},
        {"-f", "jsonl", "--from=4"},
    };
    for (const std::vector<std::string>& arguments : options) {
        const std::string shown = ::testing::PrintToString(arguments);
        const CommandLine line = ParseCommandLine(arguments);
        ASSERT_EQ(line.error, "") << shown;
        MasterFileSource master((dir.path() / "ths.mst").string());
        ListSource list(master.Name(), entries);
        const Exported fromMaster = ExportFrom(master, line);
        const Exported fromList = ExportFrom(list, line);
        EXPECT_EQ(fromList.status, fromMaster.status) << shown;
        EXPECT_EQ(fromList.output, fromMaster.output) << shown;
        EXPECT_EQ(fromList.messages, fromMaster.messages) << shown;
    }
    MasterFileSource master((dir.path() / "ths.mst").string());
    EXPECT_EQ(ExportFrom(master, ParseCommandLine({})).output, db.ExpectedOutput());
}

TEST(RecordSource, ItsProblemsAreSaidInItsNameAndCostWhatTheySay) {
    using State = RecordFields::State;
    ListSource list("catalogue.lst",
                    {{1, State::Stored, {{10, "kept"}}},
                     {2, State::Stored, {{11, "lost"}}, {ProblemKind::ReadError}},
                     {3, State::Stored, {{12, "too"}}, {ProblemKind::EntryOutsideData}}});
    const Exported tagged = ExportFrom(list, ParseCommandLine({}));
    EXPECT_EQ(tagged.status, 1);
    EXPECT_EQ(tagged.output,
              "[RECORD 1]\n<10>kept</10>\n\n\n[RECORD 2]\n\n\n[RECORD 3]\n<12>too</12>\n\n\n");
    EXPECT_EQ(tagged.messages,
              "mstexport: catalogue.lst: MFN 2: the record could not be read (a read error); "
              "exported without fields\n"
              "mstexport: catalogue.lst: MFN 3: field with tag 0 lies outside the data area (POS "
              "0, LEN 0, data area 0 bytes); line left out\n");
    const Exported json = ExportFrom(list, ParseCommandLine({"-f", "jsonl", "--to=2"}));
    EXPECT_EQ(
        json.output,
        "{\"mfn\":1,\"fields\":[{\"tag\":10,\"value\":\"kept\"}]}\n{\"mfn\":2,\"fields\":[]}\n");
}

// A format that reads the records once before it writes them: it counts
// them, and the fields of all of them, ahead of the first record.
class CountingWriter final : public FormatWriter {
  public:
    void Survey(const RecordFields& record) override {
        ++records_;
        fields_ += record.fields.size();
    }
    void Begin(FormatContext& context) override {
        const std::string counts =
            std::to_string(records_) + " records, " + std::to_string(fields_) + " fields\n";
        context.output.Append(counts.data(), counts.size());
    }
    void Append(const RecordFields& record, FormatContext& context) override {
        const std::string line = std::to_string(record.mfn) + "\n";
        context.output.Append(line.data(), line.size());
    }
    void End(FormatContext& context) override { context.output.Append("end\n", 4); }

  private:
    std::size_t records_ = 0;
    std::size_t fields_ = 0;
};

TEST(RecordSource, AFormatThatNeedsAPassSeesTheRangeFirstAndItsProblemsAreSaidOnce) {
    const Format counting{"counting", {}, true, [](const FormatOptions&) {
                              return std::unique_ptr<FormatWriter>(new CountingWriter);
                          }};
    using State = RecordFields::State;
    ListSource list("list", {{1, State::Stored, {{1, "a"}, {2, "b"}}},
                             {2, State::Stored, {{3, "lost"}}, {ProblemKind::ReadError}},
                             {3, State::Stored, {{4, "c"}}},
                             {4, State::Stored, {{5, "d"}, {6, "e"}, {7, "f"}}}});
    CommandLine line = ParseCommandLine({"--from=2"});
    line.format.format = &counting;
    const Exported exported = ExportFrom(list, line);
    EXPECT_EQ(exported.output, "3 records, 4 fields\n2\n3\n4\nend\n");
    EXPECT_EQ(list.rewound, 2);  // once limited, once after the pass
    EXPECT_EQ(exported.messages,
              "mstexport: list: MFN 2: the record could not be read (a read error); exported "
              "without fields\n");
    EXPECT_EQ(exported.status, 1);
}

// An ISO 2709 file is gone over from its start again after the pass: the
// records before --from are passed over silently both times, and a damaged
// record of the range is said once.
TEST(RecordSource, AnIsoFileIsReadFromItsStartAfterThePass) {
    const Format counting{"counting", {}, true, [](const FormatOptions&) {
                              return std::unique_ptr<FormatWriter>(new CountingWriter);
                          }};
    DatabaseWriter db;
    db.Add({{{1, "a"}}});
    db.Add({{{2, "b"}}});
    db.Add({{{3, "c"}, {4, "d"}}});
    db.Add({{{5, "e"}}});
    // Records 1 and 2 take 42 bytes each, with their line end; record 3
    // has 54, its terminator last.
    std::string iso = db.ExpectedIso2709();
    iso[0] = 'x';
    iso[42 + 42 + 53] = 'x';
    TempDir dir;
    WriteFile(dir.path() / "records.iso", iso);
    Iso2709Source source((dir.path() / "records.iso").string());
    CommandLine line = ParseCommandLine({"--from=2"});
    line.format.format = &counting;
    const Exported exported = ExportFrom(source, line);
    EXPECT_EQ(exported.output, "3 records, 2 fields\n2\n3\n4\nend\n");
    EXPECT_EQ(exported.messages, "mstexport: " + source.Name() +
                                     ": MFN 3: the record at byte 84 cannot be read: its byte 54, "
                                     "the last by its leader's record length, is not the record "
                                     "terminator; exported without fields\n");
    EXPECT_EQ(exported.status, 1);
}

std::vector<std::pair<std::int64_t, std::int64_t>> progress;

// The progress hook counts the MFNs of the range the source yields, from none
// to all of them, never backwards.
TEST(RecordSource, ProgressCountsTheRangeFromNoneToAll) {
    std::vector<ListSource::Entry> entries;
    for (std::int32_t mfn = 1; mfn <= 10000; ++mfn) {
        entries.emplace_back(mfn, RecordFields::State::Stored,
                             std::vector<Field>{{1, std::to_string(mfn)}});
    }
    for (const auto& [from, to, total] :
         {std::tuple(1, 10000, 10000), std::tuple(2500, 9000, 6501), std::tuple(9990, 20000, 11)}) {
        ListSource list("list", entries);
        CommandLine line = ParseCommandLine(
            {"--from=" + std::to_string(from), "--to=" + std::to_string(to), "-f", "jsonl"});
        progress.clear();
        line.settings.progress = [](std::int64_t done, std::int64_t all) {
            progress.emplace_back(done, all);
        };
        ExportFrom(list, line);
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.front(), std::make_pair(std::int64_t{0}, std::int64_t{total}));
        EXPECT_EQ(progress.back(), std::make_pair(std::int64_t{total}, std::int64_t{total}));
        for (std::size_t i = 1; i < progress.size(); ++i) {
            EXPECT_GE(progress[i].first, progress[i - 1].first);
            EXPECT_EQ(progress[i].second, total);
        }
        EXPECT_EQ(progress.size() > 2, total > 4096);
    }
}

}  // namespace
