#include "ExportCommand.hpp"

#include "export/Export.hpp"
#include "iso2709/Iso2709Source.hpp"
#include "masterfile/MasterFileSource.hpp"

std::unique_ptr<RecordSource> SourceOf(const CommandLine& line) {
    if (ReadsIso2709(line)) {
        return std::make_unique<Iso2709Source>(line.database);
    }
    return std::make_unique<MasterFileSource>(line.database);
}

int ExportDatabase(const CommandLine& line, std::FILE* messages, OutputFile::WriteBytes write) {
    const std::unique_ptr<RecordSource> source = SourceOf(line);
    return RunExport(*source, line.format, line.settings, messages, write);
}

int DescribeDatabase(const CommandLine& line, std::FILE* messages, OutputFile::WriteBytes write) {
    const std::unique_ptr<RecordSource> source = SourceOf(line);
    return RunInfo(*source, line.infoJson, line.settings, messages, write);
}
