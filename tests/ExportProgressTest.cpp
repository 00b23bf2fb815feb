// The export run's progress callback, which the web page's bar follows: it
// counts the MFNs of the range from 0 to all of them, never backwards, and
// leaves the output as it is without it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "DatabaseWriter.hpp"
#include "TempDir.hpp"
#include "export/Export.hpp"

namespace {

std::vector<std::pair<std::int64_t, std::int64_t>> reported;

void Record(std::int64_t done, std::int64_t total) {
    reported.emplace_back(done, total);
}

std::string ReadWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Exports the database in `dir` into `name` there; returns the output.
std::string ExportInto(const TempDir& dir, const char* name, ExportSettings settings) {
    settings.database = (dir.path() / "ths.mst").string();
    settings.output = (dir.path() / name).string();
    settings.outputFirst = false;
    std::FILE* messages = std::fopen((dir.path() / "messages").string().c_str(), "w+b");
    EXPECT_NE(messages, nullptr);
    EXPECT_EQ(ExportDatabase(settings, messages), 0);
    (void)std::fclose(messages);
    return ReadWhole(dir.path() / name);
}

TEST(ExportProgressTest, CountsTheRangeFromNoneToAllAndLeavesTheOutputAlone) {
    constexpr std::int32_t kRecords = 10000;
    TempDir dir;
    DatabaseWriter db;
    for (std::int32_t i = 0; i < kRecords; ++i) {
        db.Add({{{10, "record " + std::to_string(i)}}});
    }
    db.WriteTo(dir.path());

    struct Range {
        std::int32_t from;
        std::int32_t to;
        std::int64_t mfns;  // in the range and in the database
    };
    for (const Range range : {Range{1, kRecords, kRecords}, Range{2500, 9000, 6501},
                              Range{9990, 2000000, 11}, Range{20000, 30000, 0}}) {
        SCOPED_TRACE("from " + std::to_string(range.from) + " to " + std::to_string(range.to));
        ExportSettings settings;
        settings.from = range.from;
        settings.to = range.to;
        const std::string quiet = ExportInto(dir, "quiet.txt", settings);
        reported.clear();
        settings.progress = Record;
        EXPECT_EQ(ExportInto(dir, "counted.txt", settings), quiet);

        ASSERT_GE(reported.size(), 1u);
        EXPECT_EQ(reported.front(), std::make_pair(std::int64_t{0}, range.mfns));
        EXPECT_EQ(reported.back(), std::make_pair(range.mfns, range.mfns));
        for (std::size_t i = 1; i < reported.size(); ++i) {
            EXPECT_EQ(reported[i].second, range.mfns);
            EXPECT_GE(reported[i].first, reported[i - 1].first);
        }
        if (range.mfns > 5000) {
            // Something between the start and the end, for the bar to move.
            EXPECT_GT(reported.size(), 2u);
        }
    }
}

}  // namespace
