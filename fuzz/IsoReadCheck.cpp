#include "IsoReadCheck.hpp"

#include <cstring>
#include <vector>

#include "iso2709/Iso2709Reader.hpp"

namespace {

class CollectedProblems : public IsoProblemSink {
  public:
    void Report(const IsoProblem& problem) override { problems.push_back(problem); }
    std::vector<IsoProblem> problems;
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

}  // namespace

std::string ReadIsoAndCheck(const std::filesystem::path& path) {
    InputFile file;
    std::string reason;
    if (!file.Open(path.string(), reason)) {
        return "cannot open " + path.string() + ": " + reason;
    }
    Iso2709Reader reader(file);
    const Iso2709Reader::Opened opened = reader.Open(reason);
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
        for (const IsoProblem& problem : sink.problems) {
            if (problem.position != position || problem.offset < 0 ||
                problem.offset >= file.Size() || problem.reason.empty()) {
                return "a problem without the record's position, an offset inside the file "
                       "and a reason";
            }
        }
        if (next == Iso2709Reader::Next::Record) {
            const std::string broken = CheckRecord(reader, record);
            if (!broken.empty()) {
                return broken;
            }
            continue;
        }
        if (record.state != RecordFields::State::Unreadable || !record.fields.empty() ||
            sink.problems.size() != 1 || sink.problems[0].kind != IsoProblem::Kind::DamagedRecord) {
            return "a damaged record that is not Unreadable, without fields, with one problem";
        }
    }
    if (reader.ReadNext(record) != Iso2709Reader::Next::End) {
        return "a record after the end";
    }
    return "";
}
