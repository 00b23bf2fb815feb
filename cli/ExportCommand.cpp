#include "ExportCommand.hpp"

#include "export/Export.hpp"
#include "iso2709/Iso2709Source.hpp"
#include "masterfile/DatabaseFiles.hpp"
#include "masterfile/MasterFileSource.hpp"

std::unique_ptr<RecordSource> SourceOf(const CommandLine& line) {
    if (ReadsIso2709(line)) {
        return std::make_unique<Iso2709Source>(line.database);
    }
    return std::make_unique<MasterFileSource>(line.database);
}

bool FieldTableOf(const CommandLine& line, const RecordSource& source, std::string& table,
                  std::string& error) {
    table.clear();
    const bool named = line.format.format->namesFields || line.action == CommandLine::Action::Info;
    if (!named || line.noFieldTable) {
        return true;
    }
    if (!line.fieldTable.empty()) {
        table = line.fieldTable;
        return true;
    }
    // The source's name is its database's file, or empty when its name
    // found none; the table has the same name, with .fdt.
    return source.Name().empty() || FindBeside(source.Name(), ".fdt", table, error) ||
           error.empty();
}

namespace {

// Makes the source `line` names, finds its field definition table, and hands
// both to `run`; a table that cannot be told is a usage error.
template <typename Run>
int RunWithTable(const CommandLine& line, std::FILE* messages, Run run) {
    const std::unique_ptr<RecordSource> source = SourceOf(line);
    ExportSettings settings = line.settings;
    std::string error;
    if (!FieldTableOf(line, *source, settings.fieldTable, error)) {
        // Only a more exact name helps, as for the database's own files.
        (void)std::fprintf(messages, "mstexport: %s\n", error.c_str());
        return 2;
    }
    return run(*source, settings);
}

}  // namespace

int ExportDatabase(const CommandLine& line, std::FILE* messages, OutputFile::WriteBytes write) {
    return RunWithTable(line, messages, [&](RecordSource& source, const ExportSettings& settings) {
        return RunExport(source, line.format, settings, messages, write);
    });
}

int DescribeDatabase(const CommandLine& line, std::FILE* messages, OutputFile::WriteBytes write) {
    return RunWithTable(line, messages, [&](RecordSource& source, const ExportSettings& settings) {
        return RunInfo(source, line.infoJson, settings, messages, write);
    });
}
