// Runs the built mstexport program in a directory, as a user would.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct ExportRun {
    int exitCode = -1;
    std::string output;  // formatirani_izlaz.txt, empty if it was not written
    bool outputExists = false;
    std::string stdoutText;  // as written: an export to standard output is binary
    std::string stderrText;  // messages, with line ends read as "\n" (see AsText)
    // The program's peak resident memory in KiB, from RunExportMeasured
    // where it can be measured; -1 otherwise.
    long peakKib = -1;
};

// Runs the program with `directory` as its working directory. The console
// output is captured in files of a temporary directory of its own, removed
// once they are read.
// `arguments` are given to it as they are, each quoted; they may be UTF-8.
ExportRun RunExport(const std::filesystem::path& directory,
                    const std::vector<std::string>& arguments = {});

// Like RunExport, but on Linux, where the program runs without a launcher,
// it also measures the program's peak resident memory (ExportRun::peakKib),
// through mstexport_peak_memory (tests/support/PeakMemory.cpp); elsewhere it
// is RunExport.
ExportRun RunExportMeasured(const std::filesystem::path& directory,
                            const std::vector<std::string>& arguments);

// Console text as the program wrote it, with Windows' "\r\n" line ends read
// as "\n"; on other systems the text itself.
std::string AsText(const std::string& written);
