// The output never overwrites the database, whatever name or link leads to
// it; inputs that are not files are refused before anything is opened; and a
// run with arguments replaces its output whole or leaves it as it was.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "DatabaseWriter.hpp"
#include "RunExport.hpp"
#include "SameText.hpp"
#include "StartExport.hpp"
#include "TempDir.hpp"
#include "export/Export.hpp"

#ifndef _WIN32
#include <sys/stat.h>
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

// Two records as `base`.mst and `base`.xrf in `folder`.
DatabaseWriter WriteTwoRecords(const fs::path& folder, const std::string& base) {
    DatabaseWriter db;
    db.Add({{{24, "first"}}});
    db.Add({{{24, "second"}, {70, "author"}}});
    WriteFile(folder / (base + ".mst"), db.MasterBytes());
    WriteFile(folder / (base + ".xrf"), db.CrossRefBytes());
    return db;
}

TEST(OutputSafetyTest, AnOutputThatIsADatabaseFileIsRefusedAndNothingIsTouched) {
    enum Link { kNone, kSymbolic, kHard };
    struct Row {
        std::vector<std::string> arguments;  // none: the run without arguments, on ths
        Link link;                           // made from the output's name to `file`
        std::string file;
    };
    const std::vector<Row> rows = {
        {{"cds", "-o", "cds.mst"}, kNone, "master file"},
        {{"cds", "-o", "cds.xrf"}, kNone, "cross-reference file"},
        {{"cds", "-o", "shelf/../cds.mst"}, kNone, "master file"},
        {{"cds", "-o", "link.txt"}, kSymbolic, "master file"},
        {{"cds", "-o", "copy.txt"}, kHard, "cross-reference file"},
#ifdef _WIN32
        {{"cds", "-o", "CDS.MST"}, kNone, "master file"},
#endif
        {{}, kSymbolic, "master file"},
        {{}, kHard, "cross-reference file"},
    };
    for (const Row& row : rows) {
        const std::string base = row.arguments.empty() ? "ths" : "cds";
        const std::string output =
            row.arguments.empty() ? "formatirani_izlaz.txt" : row.arguments.back();
        SCOPED_TRACE(output + " as the " + row.file);
        const TempDir dir;
        const DatabaseWriter db = WriteTwoRecords(dir.path(), base);
        fs::create_directory(dir.path() / "shelf");
        const std::string linked = base + (row.file == "master file" ? ".mst" : ".xrf");
        std::error_code error;  // symbolic links on Windows need a privilege
        if (row.link == kSymbolic) {
            fs::create_symlink(linked, dir.path() / output, error);
        } else if (row.link == kHard) {
            fs::create_hard_link(dir.path() / linked, dir.path() / output, error);
        }
        if (error) {
            std::printf("skipped, the link cannot be made here: %s\n", error.message().c_str());
            continue;
        }
        const std::set<std::string> before = NamesIn(dir.path());
        const ExportRun run = RunExport(dir.path(), row.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.stderrText, "mstexport: the output " + output + " is the database's own " +
                                      row.file + "; nothing was written\n");
        EXPECT_EQ(run.stdoutText, "");
        EXPECT_EQ(ReadFile(dir.path() / (base + ".mst")), db.MasterBytes());
        EXPECT_EQ(ReadFile(dir.path() / (base + ".xrf")), db.CrossRefBytes());
        EXPECT_EQ(NamesIn(dir.path()), before);
    }
}

// A folder, a FIFO or a device where a database file should be: refused at
// once, before the output is created, in either kind of run; a FIFO opened
// for reading would wait for a writer for ever.
TEST(OutputSafetyTest, InputsThatAreNotFilesAreRefusedBeforeTheOutputIsCreated) {
    enum Kind { kFolder, kFifo, kDevice };
    struct Row {
        const char* input;
        Kind kind;
        const char* instead;
    };
    std::vector<Row> rows = {{"ths.mst", kFolder, "it is a folder, not a file"}};
#ifndef _WIN32
    rows.push_back({"ths.mst", kFifo, "it is a FIFO (a named pipe), not a file"});
    rows.push_back({"ths.xrf", kDevice, "it is a device, not a file"});
#endif
    for (const Row& row : rows) {
        for (const std::string output : {"formatirani_izlaz.txt", "out.txt"}) {
            SCOPED_TRACE(std::string(row.instead) + ", writing " + output);
            std::vector<std::string> arguments;
            if (output == "out.txt") {
                arguments = {"-o", output};
            }
            const TempDir dir;
            WriteTwoRecords(dir.path(), "ths");
            const fs::path input = dir.path() / row.input;
            fs::remove(input);
            const std::string expected = "mstexport: cannot read " + std::string(row.input) + ": " +
                                         row.instead + "; " + output + " was not created\n";
#ifdef _WIN32
            fs::create_directory(input);
            const ExportRun run = RunExport(dir.path(), arguments);
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.stderrText, expected);
#else
            if (row.kind == kFolder) {
                fs::create_directory(input);
            } else if (row.kind == kFifo) {
                ASSERT_EQ(mkfifo(input.c_str(), 0666), 0);
            } else {
                fs::create_symlink("/dev/zero", input);
            }
            const fs::path messages = dir.path() / "messages";
            EXPECT_EQ(WaitForExport(StartExport(dir.path(), arguments, messages), 20), 1);
            EXPECT_EQ(ReadFile(messages), expected);
#endif
            EXPECT_FALSE(fs::exists(dir.path() / output));
        }
    }
}

// A database that turns out unreadable, in a run with arguments, leaves an
// earlier export as it was and says so; a damaged one still replaces it
// with what could be read.
TEST(OutputSafetyTest, OnlyAReadableDatabaseReplacesTheEarlierOutput) {
    enum Damage { kCut, kNoCrossReference, kPointerToNoBlock };
    struct Row {
        Damage damage;
        const char* messageStart;
    };
    const Row rows[] = {
        {kCut, "mstexport: cds.mst: 15 bytes, too short to hold the 16-byte control record"},
        {kNoCrossReference, "mstexport: cannot read cds.xrf: "},
        {kPointerToNoBlock, "mstexport: cds.mst: MFN 3: "},
    };
    for (const Row& row : rows) {
        for (const bool earlier : {true, false}) {
            SCOPED_TRACE(std::string(row.messageStart) +
                         (earlier ? ", over an earlier output" : ""));
            const TempDir dir;
            DatabaseWriter db = WriteTwoRecords(dir.path(), "cds");
            const bool readable = row.damage == kPointerToNoBlock;
            if (readable) {
                db.AddPointer(0x600);
                WriteFile(dir.path() / "cds.mst", db.MasterBytes());
                WriteFile(dir.path() / "cds.xrf", db.CrossRefBytes());
            } else if (row.damage == kCut) {
                WriteFile(dir.path() / "cds.mst", db.MasterBytes().substr(0, 15));
            } else {
                fs::remove(dir.path() / "cds.xrf");
            }
            if (earlier) {
                WriteFile(dir.path() / "out.txt", kEarlier);
            }
            std::set<std::string> names = NamesIn(dir.path());
            const ExportRun run = RunExport(dir.path(), {"cds", "-o", "out.txt"});
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.stderrText.rfind(row.messageStart, 0), 0u) << run.stderrText;
            const std::string end = readable  ? "\n"
                                    : earlier ? "; out.txt was left as it was\n"
                                              : "; out.txt was not created\n";
            EXPECT_EQ(run.stderrText.find(end, run.stderrText.size() - end.size()),
                      run.stderrText.size() - end.size())
                << run.stderrText;
            if (readable) {
                EXPECT_EQ(run.stderrText.find("out.txt"), std::string::npos) << run.stderrText;
                EXPECT_SAME_TEXT(ReadFile(dir.path() / "out.txt"), db.ExpectedOutput());
                names.insert("out.txt");
            } else if (earlier) {
                EXPECT_EQ(ReadFile(dir.path() / "out.txt"), kEarlier);
            }
            EXPECT_EQ(NamesIn(dir.path()), names);
        }
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
        ExportSettings settings;
        settings.database = (dir.path() / "ths").string();
        settings.output = output;
        settings.outputFirst = false;
        std::FILE* messages = std::tmpfile();
        ASSERT_NE(messages, nullptr);
        writesBeforeFailure = row.failingWrite;
        EXPECT_EQ(ExportDatabase(settings, messages, WriteUntilFull), 1);
        EXPECT_EQ(writesBeforeFailure, 0) << "the failing write was never made";
        std::string said(256, '\0');
        std::rewind(messages);
        said.resize(std::fread(said.data(), 1, said.size(), messages));
        std::fclose(messages);
        EXPECT_EQ(said, "mstexport: cannot write " + output + ": " + std::strerror(ENOSPC) + "; " +
                            output +
                            (row.earlier ? " was left as it was\n" : " was not created\n"));
        std::set<std::string> names{"ths.mst", "ths.xrf"};
        if (row.earlier) {
            EXPECT_EQ(ReadFile(output), kEarlier);
            names.insert("out.txt");
        }
        EXPECT_EQ(NamesIn(dir.path()), names);
    }
}

#ifndef _WIN32

// A new output gets the mode any new file gets, 0666 less the umask; one
// that is replaced keeps its mode; a symbolic link keeps leading to it, and
// a device is written to as it is, with nothing made beside it.
TEST(OutputSafetyTest, ModeLinksAndDevicesOfTheOutput) {
    const TempDir dir;
    const DatabaseWriter db = WriteTwoRecords(dir.path(), "cds");
    const auto modeOf = [&](const char* name) {
        struct stat status {};
        EXPECT_EQ(stat((dir.path() / name).c_str(), &status), 0);
        return status.st_mode & 07777;
    };
    const mode_t umaskBefore = umask(077);
    EXPECT_EQ(RunExport(dir.path(), {"cds", "-o", "new.txt"}).exitCode, 0);
    EXPECT_EQ(modeOf("new.txt"), 0600u);
    umask(002);
    EXPECT_EQ(RunExport(dir.path(), {"cds", "-o", "newer.txt"}).exitCode, 0);
    EXPECT_EQ(modeOf("newer.txt"), 0664u);
    umask(umaskBefore);
    chmod((dir.path() / "new.txt").c_str(), 0640);
    EXPECT_EQ(RunExport(dir.path(), {"cds", "-o", "new.txt"}).exitCode, 0);
    EXPECT_EQ(modeOf("new.txt"), 0640u);

    fs::create_directory(dir.path() / "exports");
    WriteFile(dir.path() / "exports" / "cds.txt", kEarlier);
    fs::create_symlink("exports/cds.txt", dir.path() / "latest.txt");
    fs::create_symlink("/dev/null", dir.path() / "null");
    for (const char* output : {"latest.txt", "/dev/null", "null"}) {
        EXPECT_EQ(RunExport(dir.path(), {"cds", "-o", output}).exitCode, 0) << output;
    }
    EXPECT_TRUE(fs::is_symlink(dir.path() / "latest.txt"));
    EXPECT_SAME_TEXT(ReadFile(dir.path() / "exports" / "cds.txt"), db.ExpectedOutput());
    EXPECT_EQ(NamesIn(dir.path() / "exports"), std::set<std::string>{"cds.txt"});
    EXPECT_EQ(NamesIn(dir.path()),
              (std::set<std::string>{"cds.mst", "cds.xrf", "exports", "latest.txt", "new.txt",
                                     "newer.txt", "null"}));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

#endif

}  // namespace
