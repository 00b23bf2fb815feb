// Runs the built mstexport program in a directory, as a user would.
#pragma once

#include <filesystem>
#include <string>

struct ExportRun {
    int exitCode = -1;
    std::string output;  // formatirani_izlaz.txt, empty if it was not written
    bool outputExists = false;
    std::string stdoutText;
    std::string stderrText;
};

// Runs the program with `directory` as its working directory. The console
// output is captured in files of a temporary directory of its own, removed
// once they are read.
ExportRun RunExport(const std::filesystem::path& directory);
