#include "IsoReader.hpp"

#include <stdexcept>

#include "TempDir.hpp"
#include "iso2709/Iso2709Reader.hpp"

namespace {

class Refuse final : public ProblemSink {
  public:
    void Report(const RecordProblem& problem) override {
        throw std::runtime_error("MFN " + std::to_string(problem.mfn) + ": " +
                                 ProblemText(problem));
    }
};

}  // namespace

std::vector<std::vector<Field>> ReadIso2709(const std::string& iso) {
    TempDir dir;
    WriteFile(dir.path() / "records.iso", iso);
    InputFile file;
    std::string reason;
    if (!file.Open((dir.path() / "records.iso").string(), reason)) {
        throw std::runtime_error("cannot open the records: " + reason);
    }
    Iso2709Reader reader(file);
    std::vector<std::vector<Field>> records;
    if (reader.Open(reason) == Iso2709Reader::Opened::NotIso2709) {
        throw std::runtime_error("not ISO 2709: " + reason);
    }
    Refuse refuse;
    RecordFields record;
    while (reader.ReadNext(record, &refuse) != Iso2709Reader::Next::End) {
        std::vector<Field> fields;
        for (const FieldValue& field : record.fields) {
            fields.push_back(
                {static_cast<std::int16_t>(field.tag),
                 std::string(reinterpret_cast<const char*>(field.bytes), field.length)});
        }
        records.push_back(fields);
    }
    return records;
}
