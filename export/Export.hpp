// One export run: the records of a source, in MFN order, in one format.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "Format.hpp"
#include "OutputFile.hpp"
#include "record/RecordSource.hpp"

struct ExportSettings {
    // "-" for standard output.
    std::string output = "formatirani_izlaz.txt";
    // The run without arguments creates the output before it looks at the
    // database, and writes to it directly, as the program always has. Any
    // other run first opens the database, then writes to a temporary file
    // that takes the output's place only when the export is whole, so that
    // a wrong name, an unreadable database or an interrupted run leaves an
    // earlier output as it was. Either run first makes sure that the output
    // is none of the database's files.
    bool outputFirst = true;
    // The MFNs to export, clipped to those the database has.
    std::int32_t from = 1;
    std::int32_t to = std::numeric_limits<std::int32_t>::max();
    // The database's code page, whose values are written in UTF-8; nullptr
    // writes them as stored.
    const Charset* charset = nullptr;
    // The field definition table whose names the format writes, for a
    // format that names fields; empty for none. It is read before the output
    // is created, and is an input like the database's files.
    std::string fieldTable;
    // Called now and then during the run with the MFNs done of those in the
    // range, and once at its end, for a progress bar; nullptr for none. The
    // total is -1 until the end when the source knows its last MFN only then.
    void (*progress)(std::int64_t done, std::int64_t total) = nullptr;
};

// Writes every record of `source` in the range to the output, in `format`.
// Each problem found goes to `messages` as one line starting "mstexport: ".
// Returns the exit status: 0 when the whole range was exported without a
// problem; 2 when the output is one of the source's own files, or, in a run
// with arguments, the database's name means more than one database or the
// range starts past its last MFN, and no file was created; 1 otherwise.
// `write` puts the output's bytes into its file.
int RunExport(RecordSource& source, const FormatChoice& format, const ExportSettings& settings,
              std::FILE* messages, OutputFile::WriteBytes write = OutputFile::WriteToFile);

// Describes the records of `source` in the range for --info, as text, or as
// one JSON object when `json` is set, and writes the description to the
// output, as RunExport writes an export: from the settings it takes the
// output and the range. Each problem found goes to `messages` as in the
// export. Returns the exit status as RunExport does, but writes the
// description even when not one record could be read.
int RunInfo(RecordSource& source, bool json, const ExportSettings& settings, std::FILE* messages,
            OutputFile::WriteBytes write = OutputFile::WriteToFile);
