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
#include <set>
#include <string>
#include <thread>

#include "DatabaseWriter.hpp"
#include "StartExport.hpp"
#include "TempDir.hpp"

namespace {

namespace fs = std::filesystem;

const char* const kEarlier = "left from an earlier run";
const char* const kNames[] = {"large", "other"};

// Two databases whose exports take megabytes, so that a run lasts long
// enough to be caught midway, in a folder the tests share.
struct Folder {
    TempDir dir;
    std::string expected[2];
    Folder() {
        for (int d = 0; d < 2; ++d) {
            DatabaseWriter db;
            for (int i = 1; i <= 60000 - 20000 * d; ++i) {
                db.Add({{{24, "Title " + std::to_string(i)},
                         {70, std::string(static_cast<std::size_t>(100 + i % 50), "xy"[d])},
                         {26, "^aParis^bUnesco^c1965"}}});
            }
            WriteFile(dir.path() / (std::string(kNames[d]) + ".mst"), db.MasterBytes());
            WriteFile(dir.path() / (std::string(kNames[d]) + ".xrf"), db.CrossRefBytes());
            expected[d] = db.ExpectedOutput();
        }
    }
    fs::path Output() const { return dir.path() / "out.txt"; }
    // Whatever else runs have left in the folder, and whether any of it
    // holds bytes: a run's output, still under another name.
    std::set<std::string> LeftOver(bool* underWay = nullptr) const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (std::set<std::string>{"large.mst", "large.xrf", "other.mst", "other.xrf", "out.txt"}
                    .count(name) == 0) {
                names.insert(name);
                std::error_code error;
                if (underWay != nullptr && fs::file_size(entry.path(), error) > 0 && !error) {
                    *underWay = true;
                }
            }
        }
        return names;
    }
};

const Folder& Shared() {
    static const Folder folder;
    return folder;
}

// Stops the run again and again until its output is under way, then sends it
// `number`. Returns the run's exit status, or -2 when it ended before it
// could be caught.
int SignalMidway(pid_t pid, int number) {
    for (;;) {
        kill(pid, SIGSTOP);
        int status = 0;
        if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) {
            return -2;
        }
        bool caught = false;
        Shared().LeftOver(&caught);
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

TEST(InterruptedExportTest, ASignalMidwayLeavesTheEarlierOutputAsItWas) {
    const Folder& folder = Shared();
    const TempDir console;
    for (const int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(number));
        int status = -2;
        for (int attempt = 0; attempt < 5 && status == -2; ++attempt) {
            WriteFile(folder.Output(), kEarlier);
            status = SignalMidway(StartExport(folder.dir.path(), {"large", "-o", "out.txt"},
                                              console.path() / "messages"),
                                  number);
        }
        ASSERT_NE(status, -2) << "every run ended before it could be signalled";
        EXPECT_EQ(status, 128 + number);
        EXPECT_EQ(ReadFile(folder.Output()), kEarlier);
        EXPECT_EQ(folder.LeftOver(), std::set<std::string>{});
        EXPECT_EQ(ReadFile(console.path() / "messages"),
                  "mstexport: interrupted; out.txt was left as it was\n");
    }
}

TEST(InterruptedExportTest, RunsIntoOneOutputLeaveOneWholeExport) {
    const Folder& folder = Shared();
    const TempDir console;
    for (const char* second : kNames) {
        SCOPED_TRACE(std::string("large and ") + second);
        const pid_t first =
            StartExport(folder.dir.path(), {"large", "-o", "out.txt"}, console.path() / "first");
        const pid_t next =
            StartExport(folder.dir.path(), {second, "-o", "out.txt"}, console.path() / "second");
        EXPECT_EQ(WaitForExport(first, 120), 0) << ReadFile(console.path() / "first");
        EXPECT_EQ(WaitForExport(next, 120), 0) << ReadFile(console.path() / "second");
        const std::string output = ReadFile(folder.Output());
        EXPECT_TRUE(output == folder.expected[0] || output == folder.expected[1])
            << "the output, " << output.size() << " bytes, is neither export ("
            << folder.expected[0].size() << " and " << folder.expected[1].size() << " bytes)";
        EXPECT_EQ(folder.LeftOver(), std::set<std::string>{});
    }
}

}  // namespace

#endif
