#include "ExportCommand.hpp"

#include "export/Export.hpp"
#include "masterfile/MasterFileSource.hpp"

std::unique_ptr<RecordSource> SourceOf(const std::string& database) {
    return std::make_unique<MasterFileSource>(database);
}

int ExportDatabase(const CommandLine& line, std::FILE* messages, OutputFile::WriteBytes write) {
    const std::unique_ptr<RecordSource> source = SourceOf(line.database);
    return RunExport(*source, line.format, line.settings, messages, write);
}

int DescribeDatabase(const CommandLine& line, std::FILE* messages, OutputFile::WriteBytes write) {
    const std::unique_ptr<RecordSource> source = SourceOf(line.database);
    return RunInfo(*source, line.infoJson, line.settings, messages, write);
}
