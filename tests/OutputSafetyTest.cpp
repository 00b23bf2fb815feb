// The output never overwrites the database, whatever name or link leads to
// it; inputs that are not files are refused before anything is opened; and a
// run with arguments replaces its output whole, or leaves it as it was when
// the database cannot be read, a write fails or a signal ends the run. Runs
// into one output leave one whole export.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "TempDir.hpp"
#include "cli/ExportCommand.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <thread>
#endif

namespace {

namespace fs = std::filesystem;

const char* const kEarlier = "left from an earlier run";

// The output named as a database file in any way, inputs that are not files,
// a database that cannot be read: said, and no file touched.
TEST(OutputSafetyTest, RunsThatTouchNoFile) {
    const std::string own = " is the database's own ";
    const std::string master = own + "master file; nothing was written";
    const std::string crossRef = own + "cross-reference file; nothing was written";
    const std::string fifo = "cannot read ths.mst: it is a FIFO (a named pipe), not a file; ";
    const std::string tooShort =
        "ths.mst: 15 bytes, too short to hold the 16-byte control record; no records exported; ";
    struct Row {
        std::vector<std::string> arguments;
        std::string make;  // what is made in the folder beside the database first
        int exitCode;
        std::string said;
    };
    const std::string izlaz = "formatirani_izlaz.txt";
    const std::string no = ", not a file; out.txt was not created";
    const Row rows[] = {
        {{"-o", "ths.mst"}, "", 2, "the output ths.mst" + master},
        {{"-o", "ths.xrf"}, "", 2, "the output ths.xrf" + crossRef},
        {{"-o", "shelf/../ths.mst"}, "", 2, "the output shelf/../ths.mst" + master},
        {{"-o", "link.txt"}, "symlink ths.mst link.txt", 2, "the output link.txt" + master},
        {{"-o", "copy.txt"}, "hardlink ths.xrf copy.txt", 2, "the output copy.txt" + crossRef},
        {{}, "symlink ths.mst " + izlaz, 2, "the output " + izlaz + master},
        {{}, "hardlink ths.xrf " + izlaz, 2, "the output " + izlaz + crossRef},
#ifdef _WIN32
        {{"-o", "THS.MST"}, "", 2, "the output THS.MST" + master},
#else
        {{"-o", "out.txt"}, "fifo ths.mst", 1, fifo + "out.txt was not created"},
        {{}, "fifo ths.mst", 1, fifo + izlaz + " was not created"},
        {{"-o", "out.txt"}, "device ths.xrf", 1, "cannot read ths.xrf: it is a device" + no},
#endif
        {{"-o", "out.txt"}, "folder ths.mst", 1, "cannot read ths.mst: it is a folder" + no},
        {{"-o", "out.txt"}, "cut over", 1, tooShort + "out.txt was left as it was"},
        {{"-o", "out.txt"}, "cut", 1, tooShort + "out.txt was not created"},
    };
    // A FIFO opened for reading would wait for a writer for ever.
    const std::string wrapper =
#ifndef _WIN32
        std::string(MSTEXPORT_PROGRAM_LAUNCHER).empty() ? "timeout 20 " :
#endif
                                                        "";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.said);
        const TempDir dir;
        DatabaseWriter db;
        db.Add({{{24, "first"}}});
        db.Add({{{24, "second"}, {70, "author"}}});
        db.WriteTo(dir.path());
        fs::create_directory(dir.path() / "shelf");
        std::istringstream words(row.make);
        std::string make, name, link;
        words >> make >> name >> link;
        std::error_code error;  // symbolic links on Windows need a privilege
        if (make == "symlink") {
            fs::create_symlink(name, dir.path() / link, error);
        } else if (make == "hardlink") {
            fs::create_hard_link(dir.path() / name, dir.path() / link, error);
        } else if (make == "cut") {
            fs::resize_file(dir.path() / "ths.mst", 15);
            if (name == "over") {
                WriteFile(dir.path() / "out.txt", kEarlier);
            }
        } else if (!make.empty()) {
            fs::remove(dir.path() / name);
            if (make == "folder") {
                fs::create_directory(dir.path() / name);
            }
#ifndef _WIN32
            if (make == "fifo") {
                ASSERT_EQ(mkfifo((dir.path() / name).c_str(), 0666), 0);
            } else if (make == "device") {
                fs::create_symlink("/dev/zero", dir.path() / name);
            }
#endif
        }
        if (error) {
            std::printf("skipped: %s\n", error.message().c_str());
            continue;
        }
        const auto before = FilesIn(dir.path());
        const ExportRun run = RunExport(dir.path(), row.arguments, wrapper);
        EXPECT_EQ(run.exitCode, row.exitCode);
        EXPECT_EQ(run.stderrText, "mstexport: " + row.said + "\n");
        EXPECT_EQ(run.stdoutText, "");
        EXPECT_EQ(FilesIn(dir.path()), before);
    }
}

// The tests' stand-in for a disk that fills up: the write numbered
// `writesBeforeFailure` writes half its bytes and fails as a full disk does.
int writesBeforeFailure = 0;
std::size_t WriteUntilFull(const char* bytes, std::size_t count, std::FILE* file) {
    if (--writesBeforeFailure == 0) {
        const std::size_t written = OutputFile::WriteToFile(bytes, count / 2, file);
        errno = ENOSPC;
        return written;
    }
    return OutputFile::WriteToFile(bytes, count, file);
}

TEST(OutputSafetyTest, AFailedWriteLeavesTheEarlierOutputAsItWas) {
    struct Row {
        int records;  // of 300 bytes: 5,000 make three writes
        int failingWrite;
        bool earlier;
    };
    for (const Row row : {Row{2, 1, true}, Row{5000, 2, true}, Row{5000, 3, false}}) {
        SCOPED_TRACE(std::to_string(row.records) + " records, write " +
                     std::to_string(row.failingWrite));
        const TempDir dir;
        DatabaseWriter db;
        for (int i = 1; i <= row.records; ++i) {
            db.Add({{{24, std::string(300, static_cast<char>('a' + i % 26))}}});
        }
        db.WriteTo(dir.path());
        const std::string output = (dir.path() / "out.txt").string();
        if (row.earlier) {
            WriteFile(output, kEarlier);
        }
        const auto before = FilesIn(dir.path());
        CommandLine line;
        line.database = (dir.path() / "ths").string();
        line.settings.output = output;
        line.settings.outputFirst = false;
        const TempDir console;  // std::tmpfile may not work on Windows
        std::FILE* messages = std::fopen((console.path() / "messages").string().c_str(), "w+b");
        ASSERT_NE(messages, nullptr);
        writesBeforeFailure = row.failingWrite;
        EXPECT_EQ(ExportDatabase(line, messages, WriteUntilFull), 1);
        EXPECT_EQ(writesBeforeFailure, 0) << "the failing write was never made";
        std::string said(256, '\0');
        std::rewind(messages);
        said.resize(std::fread(said.data(), 1, said.size(), messages));
        std::fclose(messages);
        EXPECT_EQ(said, "mstexport: cannot write " + output + ": " + std::strerror(ENOSPC) + "; " +
                            output +
                            (row.earlier ? " was left as it was\n" : " was not created\n"));
        EXPECT_EQ(FilesIn(dir.path()), before);
    }
}

#ifndef _WIN32

// A database whose export takes megabytes, so that a run lasts long enough
// to be caught midway, in a folder the tests share.
struct Folder {
    TempDir dir;
    DatabaseWriter db;
    Folder() {
        for (int i = 1; i <= 60000; ++i) {
            db.Add({{{24, "Title " + std::to_string(i)},
                     {70, std::string(static_cast<std::size_t>(100 + i % 50), 'x')},
                     {26, "^aParis^bUnesco^c1965"}}});
        }
        db.WriteTo(dir.path());
    }
    fs::path Output() const { return dir.path() / "out.txt"; }
    // What runs have left beside the database and the output, with the bytes
    // each holds.
    std::map<std::string, std::uintmax_t> LeftOver() const {
        std::map<std::string, std::uintmax_t> left;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            std::error_code error;  // a temporary file may be gone by now
            if (name != "ths.mst" && name != "ths.xrf" && name != "out.txt") {
                left[name] = entry.file_size(error);
            }
        }
        return left;
    }
};

const Folder& Shared() {
    static const Folder folder;
    return folder;
}

TEST(OutputSafetyTest, AnExportTakesTheNameAndModeOfTheEarlierOutputAndLeavesNothingElse) {
    const TempDir dir;
    DatabaseWriter db;
    db.Add({{{24, "Water"}}});
    db.WriteTo(dir.path());
    const fs::path output = dir.path() / "out.txt";
    for (const mode_t mode : {0600u, 0644u}) {
        WriteFile(output, kEarlier);
        ASSERT_EQ(chmod(output.c_str(), mode), 0);
        auto before = FilesIn(dir.path());
        const ExportRun run = RunExport(dir.path(), {"-o", "out.txt"});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        auto after = FilesIn(dir.path());
        EXPECT_EQ(after["out.txt"], db.ExpectedOutput());
        before.erase("out.txt");
        after.erase("out.txt");
        EXPECT_EQ(after, before);
        struct stat status {};
        ASSERT_EQ(stat(output.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, mode);
    }
}

TEST(InterruptedExportTest, ASignalMidwayLeavesTheEarlierOutputAsItWas) {
    const Folder& folder = Shared();
    const TempDir console;
    const fs::path messages = console.path() / "messages";
    for (const int number : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(number));
        int status = -2;  // the run ended before it could be caught
        for (int attempt = 0; attempt < 5 && status == -2; ++attempt) {
            WriteFile(folder.Output(), kEarlier);
            const pid_t pid = StartExport(folder.dir.path(), {"-o", "out.txt"}, messages);
            // Stops the run again and again until its output is under way,
            // then sends the signal, delivered as it goes on.
            for (bool caught = false; !caught;) {
                kill(pid, SIGSTOP);
                if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) {
                    status = -2;
                    break;
                }
                for (const auto& [name, size] : folder.LeftOver()) {
                    caught = caught || size > 0;
                }
                if (caught) {
                    kill(pid, number);
                }
                kill(pid, SIGCONT);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            if (status != -2) {
                status = WaitForExport(pid, 60);
            }
        }
        ASSERT_NE(status, -2) << "every run ended before it could be signalled";
        EXPECT_EQ(status, 128 + number);
        EXPECT_EQ(ReadFile(folder.Output()), kEarlier);
        EXPECT_TRUE(folder.LeftOver().empty());
        EXPECT_EQ(ReadFile(messages), "mstexport: interrupted; out.txt was left as it was\n");
    }
}

// Each run writes a temporary file of its own, which takes the output's
// name with the mode a new file gets, 0666 less the umask.
TEST(InterruptedExportTest, RunsIntoOneOutputLeaveOneWholeExport) {
    const Folder& folder = Shared();
    const TempDir console;
    const std::string whole = folder.db.ExpectedOutput();
    const std::string fromTwo = whole.substr(folder.db.ExpectedRecord(1).size());
    const mode_t mask = umask(027);
    for (int attempt = 0; attempt < 3; ++attempt) {  // the runs overlap differently each time
        fs::remove(folder.Output());
        const pid_t first = StartExport(folder.dir.path(), {"-o", "out.txt"}, console.path() / "1");
        const pid_t second =
            StartExport(folder.dir.path(), {"--from=2", "-o", "out.txt"}, console.path() / "2");
        EXPECT_EQ(WaitForExport(first, 120), 0) << ReadFile(console.path() / "1");
        EXPECT_EQ(WaitForExport(second, 120), 0) << ReadFile(console.path() / "2");
        const std::string output = ReadFile(folder.Output());
        EXPECT_TRUE(output == whole || output == fromTwo)
            << "the output, " << output.size() << " bytes, is neither export";
        EXPECT_TRUE(folder.LeftOver().empty());
        struct stat status {};
        EXPECT_EQ(stat(folder.Output().c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0640u);
    }
    umask(mask);
}

#endif

}  // namespace
