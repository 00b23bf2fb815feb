// What every export must satisfy whatever bytes its database files hold,
// judged from the files and the run's results alone: the headers run 1, 2, 3
// ... without a gap and their count follows the control record and the
// cross-reference file's length, all read in one byte order, little- or
// big-endian; every record body is lines of the form
// <tag>value</tag>, empty where a message says the record was exported without
// fields; every message is one of the documented ones; the status is 0
// exactly when nothing was reported.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "FuzzInput.hpp"

struct ExportResult {
    std::string output;
    std::string messages;
    int status = -1;
};

// The file names as the export was given them; messages name them so.
struct ExportNames {
    std::string master;
    std::string crossRef;
};

// Returns an empty string when every rule holds, otherwise the rule broken.
std::string CheckExport(const DatabaseFiles& input, const ExportNames& names,
                        const ExportResult& result);

// The names ExportInProcess gives the database files in `directory`.
ExportNames NamesIn(const std::filesystem::path& directory);

// Writes the files into `directory` as ths.mst and ths.xrf and exports them
// with ExportDatabase into a file beside them, catching the messages in a
// file there too. Nothing when the files cannot be written.
std::optional<ExportResult> ExportInProcess(const DatabaseFiles& input,
                                            const std::filesystem::path& directory);

// ExportInProcess, then CheckExport on its result.
std::string ExportAndCheck(const DatabaseFiles& input, const std::filesystem::path& directory);
