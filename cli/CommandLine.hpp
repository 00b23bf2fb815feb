// The command line: mstexport [OPTIONS] [DATABASE].
#pragma once

#include <string>
#include <vector>

#include "export/Export.hpp"

struct CommandLine {
    enum class Action { Export, Info, Help, Version };
    Action action = Action::Export;
    // The master file with or without its extension, or a folder; empty for
    // ths.mst and ths.xrf in the current folder (see FindDatabaseFiles). Or
    // an ISO 2709 file.
    std::string database;
    // How `database` is read: as its name says (FILE.iso is an ISO 2709
    // file), or as --input says.
    enum class Input { ByName, Master, Iso2709 };
    Input input = Input::ByName;
    ExportSettings settings;
    FormatChoice format;
    // The format of the first format option given, which the other formats
    // have no use for; nullptr when none was.
    const Format* formatOptionsOf = nullptr;
    // With --info: whether it is written as one JSON object (--format=jsonl).
    bool infoJson = false;
    // Whether -o was given: a second one is an error, not the last one kept.
    bool outputGiven = false;
    // The field definition table: --fdt's file, or --no-fdt for none;
    // without either, the database's own (see FieldTableOf).
    std::string fieldTable;
    bool noFieldTable = false;
    // Set when the arguments are wrong: what is wrong, in one line.
    std::string error;
};

// Reads the arguments, the program's own name left out. Options take their
// value as --name=VALUE, --name VALUE, -xVALUE or -x VALUE; "--" ends the
// options.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Whether `line` reads an ISO 2709 file rather than a master file.
bool ReadsIso2709(const CommandLine& line);

// What --help prints: the usage, every option on a line, the exit statuses.
std::string HelpText();
