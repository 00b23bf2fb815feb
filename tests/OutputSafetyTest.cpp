// The output never overwrites the database, whatever name or link leads to
// it; inputs that are not files are refused before anything is opened; and a
// run with arguments replaces its output whole or leaves it as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "StartExport.hpp"
#include "TempDir.hpp"
#include "cli/ExportCommand.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace {

namespace fs = std::filesystem;

const char* const kEarlier = "left from an earlier run";

std::set<std::string> NamesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

DatabaseWriter TwoRecords() {
    DatabaseWriter db;
    db.Add({{{24, "first"}}});
    db.Add({{{24, "second"}, {70, "author"}}});
    return db;
}

// Writes the database as `base`.mst and `base`.xrf into `folder`.
void WriteAs(const DatabaseWriter& db, const fs::path& folder, const std::string& base) {
    WriteFile(folder / (base + ".mst"), db.MasterBytes());
    WriteFile(folder / (base + ".xrf"), db.CrossRefBytes());
}

// A link as the row asks for it; false when this system or file system cannot
// make it (symbolic links on Windows need a privilege).
using MakeLink = std::function<void(const fs::path& to, const fs::path& link, std::error_code&)>;
const MakeLink kSymbolic = [](const fs::path& to, const fs::path& link, std::error_code& error) {
    fs::create_symlink(to.filename(), link, error);
};
const MakeLink kHard = [](const fs::path& to, const fs::path& link, std::error_code& error) {
    fs::create_hard_link(to, link, error);
};

TEST(OutputSafetyTest, AnOutputThatIsADatabaseFileIsRefusedAndNothingIsTouched) {
    struct Row {
        const char* what;
        const char* base;  // the database's name: "ths" for the run without arguments
        std::vector<std::string> arguments;
        const char* linkTo;  // the database file a link is made to, if any
        const char* link;
        MakeLink makeLink;
        const char* file;  // what the message calls it
    };
    const std::vector<Row> rows = {
        {"the master file",
         "cds",
         {"cds", "-o", "cds.mst"},
         nullptr,
         nullptr,
         nullptr,
         "master file"},
        {"the cross-reference file",
         "cds",
         {"cds", "-o", "cds.xrf"},
         nullptr,
         nullptr,
         nullptr,
         "cross-reference file"},
        {"the master file through ..",
         "cds",
         {"cds", "-o", "shelf/../cds.mst"},
         nullptr,
         nullptr,
         nullptr,
         "master file"},
        {"a symbolic link to the master file",
         "cds",
         {"cds", "-o", "link.txt"},
         "cds.mst",
         "link.txt",
         kSymbolic,
         "master file"},
        {"a hard link to the cross-reference file",
         "cds",
         {"cds", "-o", "copy.txt"},
         "cds.xrf",
         "copy.txt",
         kHard,
         "cross-reference file"},
#ifdef _WIN32
        {"the master file in another case",
         "cds",
         {"cds", "-o", "CDS.MST"},
         nullptr,
         nullptr,
         nullptr,
         "master file"},
#endif
        {"without arguments, a symbolic link to ths.mst",
         "ths",
         {},
         "ths.mst",
         "formatirani_izlaz.txt",
         kSymbolic,
         "master file"},
        {"without arguments, a hard link to ths.xrf",
         "ths",
         {},
         "ths.xrf",
         "formatirani_izlaz.txt",
         kHard,
         "cross-reference file"},
    };
    const DatabaseWriter db = TwoRecords();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const TempDir dir;
        WriteAs(db, dir.path(), row.base);
        fs::create_directory(dir.path() / "shelf");
        if (row.link != nullptr) {
            std::error_code error;
            row.makeLink(dir.path() / row.linkTo, dir.path() / row.link, error);
            if (error) {
                std::printf("%s: skipped, the link cannot be made here: %s\n", row.what,
                            error.message().c_str());
                continue;
            }
        }
        const std::set<std::string> before = NamesIn(dir.path());
        const ExportRun run = RunExport(dir.path(), row.arguments);
        const std::string output =
            row.arguments.empty() ? "formatirani_izlaz.txt" : row.arguments.back();
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.stderrText, "mstexport: the output " + output + " is the database's own " +
                                      row.file + "; nothing was written\n");
        EXPECT_EQ(run.stdoutText, "");
        EXPECT_EQ(ReadFile(dir.path() / (std::string(row.base) + ".mst")), db.MasterBytes());
        EXPECT_EQ(ReadFile(dir.path() / (std::string(row.base) + ".xrf")), db.CrossRefBytes());
        EXPECT_EQ(NamesIn(dir.path()), before);
    }
}

// A folder, a device or a FIFO where a database file should be: refused at
// once, before the output is created, in either kind of run.
TEST(OutputSafetyTest, InputsThatAreNotFilesAreRefusedBeforeTheOutputIsCreated) {
    struct Row {
        const char* what;
        const char* input;
        std::function<void(const fs::path&)> make;
        const char* instead;
    };
    std::vector<Row> rows = {
        {"a folder as the master file", "ths.mst",
         [](const fs::path& path) { fs::create_directory(path); }, "it is a folder, not a file"},
    };
#ifndef _WIN32
    rows.push_back({"a FIFO as the master file", "ths.mst",
                    [](const fs::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0666), 0); },
                    "it is a FIFO (a named pipe), not a file"});
    rows.push_back({"a FIFO as the cross-reference file", "ths.xrf",
                    [](const fs::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0666), 0); },
                    "it is a FIFO (a named pipe), not a file"});
    rows.push_back({"a device as the cross-reference file", "ths.xrf",
                    [](const fs::path& path) { fs::create_symlink("/dev/zero", path); },
                    "it is a device, not a file"});
#endif
    for (const Row& row : rows) {
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{}, std::vector<std::string>{"-o", "out.txt"}}) {
            const std::string output = arguments.empty() ? "formatirani_izlaz.txt" : "out.txt";
            SCOPED_TRACE(std::string(row.what) + ", writing " + output);
            const TempDir dir;
            WriteAs(TwoRecords(), dir.path(), "ths");
            fs::remove(dir.path() / row.input);
            row.make(dir.path() / row.input);
            const std::string expected = "mstexport: cannot read " + std::string(row.input) + ": " +
                                         row.instead + "; " + output + " was not created\n";
#ifdef _WIN32
            const ExportRun run = RunExport(dir.path(), arguments);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.stderrText, expected);
#else
            // A FIFO opened for reading waits for a writer for ever: the run
            // must end long before the deadline.
            const fs::path messages = dir.path() / "messages";
            EXPECT_EQ(WaitForExport(StartExport(dir.path(), arguments, messages), 20), 1);
            EXPECT_EQ(ReadFile(messages), expected);
#endif
            EXPECT_FALSE(fs::exists(dir.path() / output));
        }
    }
}

// A database that turns out unreadable, in a run with arguments, leaves an
// earlier export as it was and says so.
TEST(OutputSafetyTest, AnUnreadableDatabaseLeavesTheEarlierOutputAsItWas) {
    struct Row {
        const char* what;
        std::function<void(const fs::path&, DatabaseWriter&)> damage;
        const char* messageStart;
    };
    const std::vector<Row> rows = {
        {"a master file too short for the control record",
         [](const fs::path& dir, DatabaseWriter& db) {
             WriteFile(dir / "cds.mst", db.MasterBytes().substr(0, 15));
         },
         "mstexport: cds.mst: 15 bytes, too short to hold the 16-byte control record; no records "
         "exported"},
        {"NXTMFN 0",
         [](const fs::path& dir, DatabaseWriter& db) {
             db.SetNextMfn(0);
             WriteFile(dir / "cds.mst", db.MasterBytes());
         },
         "mstexport: cds.mst: the control record gives NXTMFN 0, which counts no records; no "
         "records exported"},
        {"no cross-reference file",
         [](const fs::path& dir, DatabaseWriter&) { fs::remove(dir / "cds.xrf"); },
         "mstexport: cannot read cds.xrf: "},
        {"a folder as the master file",
         [](const fs::path& dir, DatabaseWriter&) {
             fs::remove(dir / "cds.mst");
             fs::create_directory(dir / "cds.mst");
         },
         "mstexport: cannot read cds.mst: it is a folder, not a file"},
    };
    for (const Row& row : rows) {
        for (const bool earlier : {true, false}) {
            SCOPED_TRACE(std::string(row.what) + (earlier ? ", over an earlier output" : ""));
            const TempDir dir;
            DatabaseWriter db = TwoRecords();
            WriteAs(db, dir.path(), "cds");
            row.damage(dir.path(), db);
            if (earlier) {
                WriteFile(dir.path() / "out.txt", kEarlier);
            }
            const std::set<std::string> before = NamesIn(dir.path());
            const ExportRun run = RunExport(dir.path(), {"cds", "-o", "out.txt"});
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.stderrText.rfind(row.messageStart, 0), 0u) << run.stderrText;
            const std::string end =
                earlier ? "; out.txt was left as it was\n" : "; out.txt was not created\n";
            EXPECT_EQ(run.stderrText.substr(run.stderrText.size() -
                                            std::min(run.stderrText.size(), end.size())),
                      end);
            EXPECT_EQ(NamesIn(dir.path()), before);
            if (earlier) {
                EXPECT_EQ(ReadFile(dir.path() / "out.txt"), kEarlier);
            }
        }
    }
}

// The damaged database still has its export: a run with arguments replaces
// the earlier output with what could be read, and exits 1.
TEST(OutputSafetyTest, ADamagedDatabaseStillReplacesTheOutput) {
    const TempDir dir;
    DatabaseWriter db = TwoRecords();
    db.AddPointer(0x600);  // a pointer that names no block
    WriteAs(db, dir.path(), "cds");
    WriteFile(dir.path() / "out.txt", kEarlier);
    const ExportRun run = RunExport(dir.path(), {"cds", "-o", "out.txt"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.stderrText.find("MFN 3"), std::string::npos) << run.stderrText;
    EXPECT_SAME_TEXT(ReadFile(dir.path() / "out.txt"), db.ExpectedOutput());
    EXPECT_EQ(NamesIn(dir.path()), (std::set<std::string>{"cds.mst", "cds.xrf", "out.txt"}));
}

// The tests' stand-in for a disk that fills up: the write numbered
// `failingWrite` writes half its bytes and fails as a full disk does.
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
    DatabaseWriter small = TwoRecords();
    DatabaseWriter large;
    for (int i = 1; i <= 5000; ++i) {  // about 1.5 MB of output: three writes
        large.Add({{{24, std::string(300, static_cast<char>('a' + i % 26))}}});
    }
    struct Row {
        const char* what;
        const DatabaseWriter& db;
        int failingWrite;
        bool earlier;
    };
    const Row rows[] = {
        {"the one write, at the end", small, 1, true},
        {"the second of three writes", large, 2, true},
        {"the last of three writes", large, 3, true},
        {"the second of three writes, no earlier output", large, 2, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const TempDir dir;
        const TempDir console;
        WriteAs(row.db, dir.path(), "ths");
        const std::string output = (dir.path() / "out.txt").string();
        if (row.earlier) {
            WriteFile(output, kEarlier);
        }
        CommandLine line;
        line.database = (dir.path() / "ths").string();
        line.settings.output = output;
        line.settings.outputFirst = false;
        std::FILE* messages = std::fopen((console.path() / "messages").string().c_str(), "wb");
        ASSERT_NE(messages, nullptr);
        writesBeforeFailure = row.failingWrite;
        const int status = ExportDatabase(line, messages, WriteUntilFull);
        std::fclose(messages);
        EXPECT_EQ(status, 1);
        EXPECT_EQ(writesBeforeFailure, 0) << "the failing write was never made";
        EXPECT_EQ(AsText(ReadFile(console.path() / "messages")),
                  "mstexport: cannot write " + output + ": " + std::strerror(ENOSPC) + "; " +
                      output + (row.earlier ? " was left as it was\n" : " was not created\n"));
        if (row.earlier) {
            EXPECT_EQ(ReadFile(output), kEarlier);
            EXPECT_EQ(NamesIn(dir.path()),
                      (std::set<std::string>{"ths.mst", "ths.xrf", "out.txt"}));
        } else {
            EXPECT_EQ(NamesIn(dir.path()), (std::set<std::string>{"ths.mst", "ths.xrf"}));
        }
    }
}

#ifndef _WIN32

// A new output gets the mode any new file gets, 0666 less the umask; an
// output that is replaced keeps the mode it had, as it would if it were
// written over.
TEST(OutputSafetyTest, ModeOfTheOutput) {
    const TempDir dir;
    WriteAs(TwoRecords(), dir.path(), "cds");
    const auto modeOf = [&](const char* name) {
        struct stat status {};
        EXPECT_EQ(stat((dir.path() / name).c_str(), &status), 0);
        return status.st_mode & 07777;
    };
    const mode_t umaskBefore = umask(0);
    for (const mode_t mask : {022, 077, 002, 027}) {
        umask(mask);
        fs::remove(dir.path() / "new.txt");
        EXPECT_EQ(RunExport(dir.path(), {"cds", "-o", "new.txt"}).exitCode, 0);
        EXPECT_EQ(modeOf("new.txt"), 0666 & ~mask) << "umask " << std::oct << mask;
    }
    WriteFile(dir.path() / "kept.txt", kEarlier);
    for (const mode_t mode : {0600, 0640, 0664}) {
        chmod((dir.path() / "kept.txt").c_str(), mode);
        EXPECT_EQ(RunExport(dir.path(), {"cds", "-o", "kept.txt"}).exitCode, 0);
        EXPECT_EQ(modeOf("kept.txt"), mode) << std::oct << mode;
    }
    umask(umaskBefore);
}

// A symbolic link keeps leading to the export: the file it names is replaced,
// in its own folder, and a link that names no file yet gets it.
TEST(OutputSafetyTest, AnOutputThatIsASymbolicLinkReplacesTheFileItNames) {
    const TempDir dir;
    const DatabaseWriter db = TwoRecords();
    WriteAs(db, dir.path(), "cds");
    fs::create_directory(dir.path() / "exports");
    WriteFile(dir.path() / "exports" / "cds.txt", kEarlier);
    fs::create_symlink("exports/cds.txt", dir.path() / "latest.txt");
    fs::create_symlink("exports/new.txt", dir.path() / "next.txt");
    for (const char* link : {"latest.txt", "next.txt"}) {
        SCOPED_TRACE(link);
        const ExportRun run = RunExport(dir.path(), {"cds", "-o", link});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
        EXPECT_TRUE(fs::is_symlink(dir.path() / link));
        EXPECT_SAME_TEXT(ReadFile(dir.path() / link), db.ExpectedOutput());
    }
    EXPECT_EQ(NamesIn(dir.path() / "exports"), (std::set<std::string>{"cds.txt", "new.txt"}));
    EXPECT_EQ(NamesIn(dir.path()),
              (std::set<std::string>{"cds.mst", "cds.xrf", "exports", "latest.txt", "next.txt"}));
}

// Nothing to replace: a device is written to as it is, and no temporary
// file is made beside it.
TEST(OutputSafetyTest, AnOutputThatIsADeviceIsWrittenDirectly) {
    const TempDir dir;
    WriteAs(TwoRecords(), dir.path(), "cds");
    fs::create_symlink("/dev/null", dir.path() / "null");
    for (const char* output : {"/dev/null", "null"}) {
        const ExportRun run = RunExport(dir.path(), {"cds", "-o", output});
        EXPECT_EQ(run.exitCode, 0) << run.stderrText;
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(NamesIn(dir.path()), (std::set<std::string>{"cds.mst", "cds.xrf", "null"}));
}

#endif

}  // namespace
