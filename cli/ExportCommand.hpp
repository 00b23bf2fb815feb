// The export a command line asks for: the records of the database it names,
// in the format it names.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "CommandLine.hpp"
#include "export/OutputFile.hpp"
#include "record/RecordSource.hpp"

// The source of the records that the command line's DATABASE names: an ISO
// 2709 file or a master file (see ReadsIso2709).
std::unique_ptr<RecordSource> SourceOf(const CommandLine& line);

// The field definition table that the export of `line` from `source` reads
// into `table`: --fdt's file; without it, the file beside the database's
// with its name and the extension .fdt, in any case, when there is one;
// none with --no-fdt, or for a format that names no fields. False, with
// `error` saying why, when several files match that name in case.
bool FieldTableOf(const CommandLine& line, const RecordSource& source, std::string& table,
                  std::string& error);

// Runs the export of `line`, whose action is Export; see RunExport.
int ExportDatabase(const CommandLine& line, std::FILE* messages,
                   OutputFile::WriteBytes write = OutputFile::WriteToFile);

// Describes the database of `line`, whose action is Info; see RunInfo.
int DescribeDatabase(const CommandLine& line, std::FILE* messages,
                     OutputFile::WriteBytes write = OutputFile::WriteToFile);
