#include "IsoReadCheck.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "cli/ExportCommand.hpp"
#include "iso2709/Iso2709Reader.hpp"

namespace {

class CollectedProblems : public ProblemSink {
  public:
    void Report(const RecordProblem& problem) override { problems.push_back(problem); }
    std::vector<RecordProblem> problems;
};

std::string CheckRecord(const Iso2709Reader& reader, const RecordFields& record) {
    if (record.state != RecordFields::State::Stored) {
        return "a record read is not Stored";
    }
    if (reader.RecordLength() > IsoLeader::kLongestRecord) {
        return "a record is longer than 99999 bytes";
    }
    const unsigned char* first = reader.RecordBytes();
    const unsigned char* end = first + reader.RecordLength();
    std::size_t valueBytes = 0;
    for (const FieldValue& field : record.fields) {
        if (field.tag < 0 || field.tag > 999) {
            return "a tag outside 0 to 999: " + std::to_string(field.tag);
        }
        if (field.bytes < first || field.bytes > end ||
            field.length > static_cast<std::size_t>(end - field.bytes)) {
            return "a value outside its record";
        }
        if (std::memchr(field.bytes, 0, field.length) != nullptr) {
            return "a value with a zero byte";
        }
        valueBytes += field.length;
    }
    if (valueBytes != record.valueBytes) {
        return "valueBytes is not the values' lengths added up";
    }
    return "";
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// What the reading gave: `tagged`, the tagged export of its records, and how
// many were damaged.
struct Reading {
    Iso2709Reader::Opened opened = Iso2709Reader::Opened::NotIso2709;
    std::string tagged;
    long long records = 0;
    long long damaged = 0;
};

void AddTagged(const RecordFields& record, std::string& tagged) {
    tagged += "[RECORD " + std::to_string(record.mfn) + "]\n";
    for (const FieldValue& field : record.fields) {
        const std::string tag = std::to_string(field.tag);
        tagged += "<" + tag + ">";
        tagged.append(reinterpret_cast<const char*>(field.bytes), field.length);
        tagged += "</" + tag + ">\n";
    }
    tagged += "\n\n";
}

// Runs --info on the file: it ends as the export did, and, for a file of
// records, counts the records and the damaged ones as the reader read them.
std::string CheckInfo(const std::filesystem::path& path, const Reading& reading, int status) {
    const std::string name = path.string();
    const std::string output = name + ".info";
    std::error_code ignored;
    const std::string messagesName = name + ".info-messages";
    std::FILE* messages = std::fopen(messagesName.c_str(), "wb");
    if (messages == nullptr) {
        return "cannot write " + messagesName;
    }
    const CommandLine line = ParseCommandLine({"--info", "--input=iso2709", name, "-o", output});
    const int infoStatus = DescribeDatabase(line, messages);
    (void)std::fclose(messages);
    const std::vector<std::string> described = LinesOf(ReadText(output));
    std::filesystem::remove(output, ignored);
    std::filesystem::remove(messagesName, ignored);
    if (infoStatus != status) {
        return "--info ends with status " + std::to_string(infoStatus) + ", the export with " +
               std::to_string(status);
    }
    if (reading.opened != Iso2709Reader::Opened::Records) {
        return described.empty() ? "" : "--info describes a file without records";
    }
    const auto has = [&described](const std::string& start, const std::string& end) {
        return std::any_of(described.begin(), described.end(), [&](const std::string& text) {
            return text.rfind(start, 0) == 0 && text.size() >= start.size() + end.size() &&
                   text.compare(text.size() - end.size(), end.size(), end) == 0;
        });
    };
    const std::string records = "Records, MFN 1 to " + std::to_string(reading.records);
    if (std::find(described.begin(), described.end(), records) == described.end() ||
        !has("  damaged ", " " + std::to_string(reading.damaged))) {
        return "--info counts other records than the reader read";
    }
    return "";
}

std::string CheckExport(const std::filesystem::path& path, const Reading& reading) {
    const std::string name = path.string();
    const std::string output = name + ".txt";
    const std::string messagesName = name + ".messages";
    std::error_code ignored;
    std::filesystem::remove(output, ignored);
    std::FILE* messages = std::fopen(messagesName.c_str(), "w+b");
    if (messages == nullptr) {
        return "cannot write " + messagesName;
    }
    const CommandLine line = ParseCommandLine({"--input=iso2709", name, "-o", output});
    const int status = ExportDatabase(line, messages);
    (void)std::fclose(messages);
    const std::vector<std::string> said = LinesOf(ReadText(messagesName));
    const bool written = std::filesystem::exists(output, ignored);
    const std::string exported = ReadText(output);
    std::filesystem::remove(output, ignored);
    std::filesystem::remove(messagesName, ignored);

    const std::string info = CheckInfo(path, reading, status);
    if (!info.empty()) {
        return info;
    }
    if (status != (said.empty() ? 0 : 1)) {
        return "exit status " + std::to_string(status) + " with " + std::to_string(said.size()) +
               " messages";
    }
    for (const std::string& message : said) {
        if (message.rfind("mstexport: ", 0) != 0) {
            return "a message that does not start with mstexport: " + message;
        }
    }
    if (reading.opened != Iso2709Reader::Opened::Records) {
        if (said.size() != 1 || written ||
            (said[0].find(": not an ISO 2709 file: ") == std::string::npos &&
             said[0].find(" which holds no ISO 2709 record;") == std::string::npos)) {
            return "a file without records not said in one line, without an output";
        }
        return "";
    }
    const std::string none =
        "mstexport: not one record of " + name + " could be read; " + output + " was not created";
    if (reading.damaged == reading.records && reading.records >= 8) {
        return !written && said.back() == none ? ""
                                               : "a file of which no record could be read has an "
                                                 "output, or does not end with: " +
                                                     none;
    }
    if (!written || exported != reading.tagged) {
        return "the export is not the records as the reader read them";
    }
    long long listed = 0;
    for (const std::string& message : said) {
        listed += message.find(": the record at byte ") != std::string::npos ? 1 : 0;
    }
    if (listed != std::min<long long>(reading.damaged, 20)) {
        return std::to_string(listed) + " damaged records said, of " +
               std::to_string(reading.damaged);
    }
    return "";
}

}  // namespace

std::string ReadIsoAndCheck(const std::filesystem::path& path) {
    InputFile file;
    std::string reason;
    if (!file.Open(path.string(), reason)) {
        return "cannot open " + path.string() + ": " + reason;
    }
    Iso2709Reader reader(file);
    const Iso2709Reader::Opened opened = reader.Open(reason);
    Reading reading;
    reading.opened = opened;
    if (opened == Iso2709Reader::Opened::NotIso2709 && reason.empty()) {
        return "a file that is not ISO 2709 without a reason";
    }
    RecordFields record;
    CollectedProblems sink;
    std::int32_t position = 0;
    for (;;) {
        sink.problems.clear();
        const Iso2709Reader::Next next = reader.ReadNext(record, &sink);
        if (next == Iso2709Reader::Next::End) {
            break;
        }
        if (opened != Iso2709Reader::Opened::Records) {
            return "a record from a file that holds none";
        }
        // Every record starts at a byte of its own.
        if (position >= file.Size()) {
            return "more records than the file can hold: the reading does not end";
        }
        if (record.mfn != ++position) {
            return "position " + std::to_string(record.mfn) + " where " + std::to_string(position) +
                   " was due";
        }
        for (const RecordProblem& problem : sink.problems) {
            if (problem.mfn != position || problem.offset < 0 || problem.offset >= file.Size() ||
                problem.detail.empty()) {
                return "a problem without the record's position, an offset inside the file "
                       "and a reason";
            }
        }
        ++reading.records;
        reading.damaged += next == Iso2709Reader::Next::Damaged ? 1 : 0;
        AddTagged(record, reading.tagged);
        if (next == Iso2709Reader::Next::Record) {
            const std::string broken = CheckRecord(reader, record);
            if (!broken.empty()) {
                return broken;
            }
            continue;
        }
        if (record.state != RecordFields::State::Unreadable || !record.fields.empty() ||
            sink.problems.size() != 1 ||
            sink.problems[0].kind != ProblemKind::IsoRecordUnreadable) {
            return "a damaged record that is not Unreadable, without fields, with one problem";
        }
    }
    if (reader.ReadNext(record) != Iso2709Reader::Next::End) {
        return "a record after the end";
    }
    return CheckExport(path, reading);
}
