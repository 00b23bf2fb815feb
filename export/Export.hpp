// One export run: the database's records, in MFN order, in one format.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

#include "Format.hpp"
#include "OutputFile.hpp"

struct ExportSettings {
    // The master file with or without its extension, or a folder; empty for
    // ths.mst and ths.xrf in the current folder (see FindDatabaseFiles).
    std::string database;
    // "-" for standard output.
    std::string output = "formatirani_izlaz.txt";
    // The run without arguments creates the output before it looks at the
    // database, and writes to it directly, as the program always has. Any
    // other run first opens both database files, then writes to a temporary
    // file that takes the output's place only when the export is whole, so
    // that a wrong name, an unreadable database or an interrupted run leaves
    // an earlier output as it was. Either run first makes sure that the
    // output is none of the database's files.
    bool outputFirst = true;
    // The MFNs to export, clipped to those the database has.
    std::int32_t from = 1;
    std::int32_t to = std::numeric_limits<std::int32_t>::max();
    RecordFormat format = AppendTaggedRecord;
    // The database's code page, whose values are written in UTF-8; nullptr
    // writes them as stored.
    const Charset* charset = nullptr;
    IsoOptions iso;
};

// Writes every record of the database in the range to the output. Each
// problem found goes to `messages` as one line starting "mstexport: ".
// Returns the exit status: 0 when the whole range was exported without a
// problem; 2 when the output is one of the database's own files, or, in a run
// with arguments, the database's name means more than one database or the
// range starts past its last MFN, and no file was created; 1 otherwise.
// `write` puts the output's bytes into its file.
int ExportDatabase(const ExportSettings& settings, std::FILE* messages,
                   OutputFile::WriteBytes write = OutputFile::WriteToFile);
