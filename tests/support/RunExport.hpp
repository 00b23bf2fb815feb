// Runs the built mstexport program in a directory, as a user would.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>
#endif

struct ExportRun {
    int exitCode = -1;
    std::string output;  // formatirani_izlaz.txt, empty if it was not written
    bool outputExists = false;
    std::string stdoutText;  // as written: an export to standard output is binary
    std::string stderrText;  // messages, with line ends read as "\n" (see AsText)
};

// Runs the program with `directory` as its working directory. The console
// output is captured in files of a temporary directory of its own, removed
// once they are read.
// `arguments` are given to it as they are, each quoted; they may be UTF-8.
// `wrapper`, when given, is shell text that the program's command line
// follows (a command that bounds its memory, say); on Windows, where the
// program is started without a shell, there is none.
ExportRun RunExport(const std::filesystem::path& directory,
                    const std::vector<std::string>& arguments = {},
                    const std::string& wrapper = {});

#ifndef _WIN32
// Starts the program in `directory` without waiting for it, so that a test
// can signal it or run several at once: its standard output discarded, its
// standard error written to `stderrPath`, SIGINT and SIGTERM at their
// defaults whatever the test inherited.
pid_t StartExport(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                  const std::filesystem::path& stderrPath);
// Waits at most `seconds` for it to end. Returns its exit status, 128 + the
// signal that ended it, or -1 when it had to be killed.
int WaitForExport(pid_t pid, double seconds);
#endif

// Console text as the program wrote it, with Windows' "\r\n" line ends read
// as "\n"; on other systems the text itself.
std::string AsText(const std::string& written);
