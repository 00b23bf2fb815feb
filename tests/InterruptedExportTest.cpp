// Runs with arguments ended by a signal midway, and runs that write one output
// at the same time: the output's name always holds one whole export, or the
// earlier file as it was, and no temporary file is left behind. POSIX systems
// only: the runs are started, stopped and signalled with fork, kill and
// waitpid.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "DatabaseWriter.hpp"
#include "StartExport.hpp"
#include "TempDir.hpp"

namespace {

namespace fs = std::filesystem;

const char* const kEarlier = "left from an earlier run";

// Tens of megabytes, so that a run lasts long enough to be caught midway.
DatabaseWriter LargeDatabase(int records, char letter) {
    DatabaseWriter db;
    for (int i = 1; i <= records; ++i) {
        db.Add({{{24, "Title " + std::to_string(i)},
                 {70, std::string(static_cast<std::size_t>(100 + i % 50), letter)},
                 {26, "^aParis^bUnesco^c1965"}}});
    }
    return db;
}

class InterruptedExportTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempDir>();
        const DatabaseWriter large = LargeDatabase(200000, 'x');
        const DatabaseWriter other = LargeDatabase(150000, 'y');
        WriteFile(Folder() / "large.mst", large.MasterBytes());
        WriteFile(Folder() / "large.xrf", large.CrossRefBytes());
        WriteFile(Folder() / "other.mst", other.MasterBytes());
        WriteFile(Folder() / "other.xrf", other.CrossRefBytes());
        expectedLarge_ = large.ExpectedOutput();
        expectedOther_ = other.ExpectedOutput();
    }
    static void TearDownTestSuite() {
        folder_.reset();
        expectedLarge_.clear();
        expectedOther_.clear();
    }
    void SetUp() override { WriteFile(Output(), kEarlier); }

    static fs::path Folder() { return folder_->path(); }
    static fs::path Output() { return Folder() / "out.txt"; }
    // Whatever else a run has left in the folder.
    static std::set<std::string> LeftOver() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder())) {
            const std::string name = entry.path().filename().string();
            if (name != "large.mst" && name != "large.xrf" && name != "other.mst" &&
                name != "other.xrf" && name != "out.txt") {
                names.insert(name);
            }
        }
        return names;
    }
    // Whether any file but the known ones holds bytes: a run's output, still
    // under another name.
    static bool OutputUnderWay() {
        for (const std::string& name : LeftOver()) {
            std::error_code error;
            if (fs::file_size(Folder() / name, error) > 0 && !error) {
                return true;
            }
        }
        return false;
    }

    static std::unique_ptr<TempDir> folder_;
    static std::string expectedLarge_;
    static std::string expectedOther_;
    TempDir console_;
};

std::unique_ptr<TempDir> InterruptedExportTest::folder_;
std::string InterruptedExportTest::expectedLarge_;
std::string InterruptedExportTest::expectedOther_;

// Stops the run again and again until its output is under way, then sends it
// `number`. Returns the run's exit status, or -2 when it ended before it
// could be caught.
int SignalMidway(pid_t pid, int number, bool (*underWay)()) {
    for (;;) {
        kill(pid, SIGSTOP);
        int status = 0;
        if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) {
            return -2;
        }
        const bool caught = underWay();
        if (caught) {
            kill(pid, number);  // delivered as it goes on
        }
        kill(pid, SIGCONT);
        if (caught) {
            return WaitForExport(pid, 60);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

TEST_F(InterruptedExportTest, ASignalMidwayLeavesTheEarlierOutputAsItWas) {
    for (const int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(number));
        int status = -2;
        for (int attempt = 0; attempt < 5 && status == -2; ++attempt) {
            WriteFile(Output(), kEarlier);
            const pid_t pid =
                StartExport(Folder(), {"large", "-o", "out.txt"}, console_.path() / "messages");
            status = SignalMidway(pid, number, OutputUnderWay);
        }
        ASSERT_NE(status, -2) << "every run ended before it could be signalled";
        EXPECT_EQ(status, 128 + number);
        EXPECT_EQ(ReadFile(Output()), kEarlier);
        EXPECT_EQ(LeftOver(), std::set<std::string>{});
        EXPECT_EQ(ReadFile(console_.path() / "messages"),
                  "mstexport: interrupted; out.txt was left as it was\n");
    }
}

TEST_F(InterruptedExportTest, RunsIntoOneOutputLeaveOneWholeExport) {
    for (const char* second : {"other", "large"}) {
        SCOPED_TRACE(std::string("large and ") + second);
        const pid_t first =
            StartExport(Folder(), {"large", "-o", "out.txt"}, console_.path() / "first");
        const pid_t next =
            StartExport(Folder(), {second, "-o", "out.txt"}, console_.path() / "second");
        EXPECT_EQ(WaitForExport(first, 120), 0) << ReadFile(console_.path() / "first");
        EXPECT_EQ(WaitForExport(next, 120), 0) << ReadFile(console_.path() / "second");
        const std::string output = ReadFile(Output());
        EXPECT_TRUE(output == expectedLarge_ || output == expectedOther_)
            << "the output, " << output.size() << " bytes, is neither export ("
            << expectedLarge_.size() << " and " << expectedOther_.size() << " bytes)";
        EXPECT_EQ(LeftOver(), std::set<std::string>{});
    }
}

}  // namespace

#endif
